package org.vantorix.image;

import static org.vantorix.image.OptionTable.FORCE;
import static org.vantorix.image.OptionTable.ICON;
import static org.vantorix.image.OptionTable.JDK;
import static org.vantorix.image.OptionTable.JMODS;
import static org.vantorix.image.OptionTable.OUTPUT;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Optional;
import java.util.stream.Stream;
import org.vantorix.image.base.Refusal;

/**
 * Where the image goes, and whether it may go there: the output directory, the tool's mark in an
 * image it wrote, and what an image must never replace.
 */
final class OutputCheck {
  static final String MARK = ".vantorix-image";

  /**
   * The output directory. An existing one is replaced only when it is empty, or with --force when
   * this tool wrote it; never when it holds what the tool reads or the user stands in.
   */
  static Path check(
      Options options, Target target, Path input, String name, Path runtime, Path launchers) {
    Path output = absolute(Optional.ofNullable(options.value(OUTPUT)).orElse(name));
    if (output.getParent() == null) {
      throw Refusal.of("the output directory %s is a file system's root", output);
    }
    char separator = target.listSeparator();
    if (output.toString().indexOf(separator) >= 0) {
      throw Refusal.of(
          "the output directory %s holds '%c', the %s path-list separator, which the Java runtime"
              + " would split the image's class path at",
          output, separator, target.label);
    }
    if (inside(output, input)) {
      throw Refusal.of(
          "the output directory %s lies inside the input directory %s", output, input);
    }
    if (!Files.exists(output, LinkOption.NOFOLLOW_LINKS)) {
      return output;
    }
    if (Files.isSymbolicLink(output)) {
      throw Refusal.of(
          "the output %s is a symbolic link: give the directory it names instead", output);
    }
    if (!Files.isDirectory(output)) {
      throw Refusal.of("the output %s exists and is not a directory", output);
    }
    Map<String, Path> kept = new LinkedHashMap<>();
    kept.put("input directory", input);
    kept.put("launchers directory", launchers);
    kept.put("runtime", runtime);
    kept.put("JDK", options.path(JDK));
    kept.put("jmods directory", options.path(JMODS));
    kept.put("icon", options.path(ICON));
    kept.put("current directory", absolute("."));
    String home = System.getProperty("user.home");
    kept.put("home directory", home == null || home.isEmpty() ? null : absolute(home));
    for (Map.Entry<String, Path> entry : kept.entrySet()) {
      if (entry.getValue() != null && inside(entry.getValue(), output)) {
        throw Refusal.of(
            "the %s %s lies inside the output directory %s, which the image replaces",
            entry.getKey(), entry.getValue(), output);
      }
    }
    boolean empty;
    try (Stream<Path> children = Files.list(output)) {
      empty = children.findAny().isEmpty();
    } catch (IOException e) {
      throw Refusal.of("the output directory %s cannot be read: %s", output, Refusal.reason(e));
    }
    if (!empty) {
      if (!options.flag(FORCE)) {
        throw Refusal.of(
            "the output directory %s is not empty: give --force to replace it", output);
      }
      if (!writtenByTool(output)) {
        throw Refusal.of(
            "the output directory %s is no image that vantorix-image wrote (it lacks %s or the"
                + " config file that names): --force replaces only such an image",
            output, MARK);
      }
    }
    return output;
  }

  /** Whether a directory holds the tool's mark and the config file the mark names. */
  static boolean writtenByTool(Path directory) {
    Path mark = directory.resolve(MARK);
    if (!Files.isRegularFile(mark, LinkOption.NOFOLLOW_LINKS)) {
      return false;
    }
    try (InputStream in = Files.newInputStream(mark)) {
      String text = new String(in.readNBytes(4096), StandardCharsets.UTF_8);
      return text.lines()
          .filter(l -> l.startsWith("config=app/"))
          .map(l -> l.substring("config=app/".length()))
          .anyMatch(
              cfg ->
                  !cfg.isEmpty()
                      && !cfg.contains("/")
                      && !cfg.contains("\\")
                      && !cfg.equals("..")
                      && Files.isRegularFile(
                          directory.resolve("app").resolve(cfg), LinkOption.NOFOLLOW_LINKS));
    } catch (IOException e) {
      return false;
    }
  }

  /** The mark's text for an image whose config file is app/NAME.cfg. */
  static String markText(String configName) {
    return "written by vantorix-image\nconfig=app/" + configName + "\n";
  }

  private static boolean inside(Path path, Path directory) {
    return real(path).startsWith(real(directory));
  }

  /** The real path where the file exists, else the absolute normalized one. */
  private static Path real(Path path) {
    try {
      return path.toRealPath();
    } catch (IOException e) {
      return path.toAbsolutePath().normalize();
    }
  }

  private static Path absolute(String path) {
    return Path.of(path).toAbsolutePath().normalize();
  }

  private OutputCheck() {}
}
