package org.vantorix.image;

import static org.vantorix.image.ConfigText.checkValue;
import static org.vantorix.image.ConfigText.shown;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Collectors;
import org.vantorix.image.base.Refusal;

/**
 * The paths that the options name inside the input directory: each relative to it (or absolute
 * inside it), checked to exist, and written into the config file below $APPDIR.
 */
final class InputPaths {
  final Path input;
  private final Target target;

  InputPaths(Path input, Target target) {
    this.input = input;
    this.target = target;
  }

  /** A path relative to the input directory (or absolute inside it), checked to exist. */
  Path relative(String what, String path, boolean directoryAllowed) {
    checkValue(what, path);
    Path full = input.resolve(path).normalize();
    Path relative;
    try {
      relative = input.relativize(full);
    } catch (IllegalArgumentException e) {
      relative = full;
    }
    if (relative.isAbsolute() || relative.startsWith("..")) {
      throw Refusal.of(
          "%s %s is not inside the input directory %s: everything the image runs comes from"
              + " there",
          what, path, input);
    }
    boolean exists =
        Files.isRegularFile(full) || (directoryAllowed && Files.isDirectory(full));
    if (!exists) {
      throw Refusal.of(
          "%s %s does not exist in the input directory %s", what, shown(relative.toString()),
          input);
    }
    for (String macro : ConfigText.MACROS) {
      if (relative.toString().contains(macro)) {
        throw Refusal.of(
            "%s %s holds %s, which the launcher would replace",
            what, shown(relative.toString()), macro);
      }
    }
    return relative;
  }

  /** A class-path or module-path element: one jar or directory. */
  Path listEntry(String what, String path) {
    char separator = target.listSeparator();
    if (path.indexOf(separator) >= 0) {
      throw Refusal.of(
          "%s %s holds '%c', the %s path-list separator, which the Java runtime would split it"
              + " at: give one entry per option, and no file name with '%c'",
          what, shown(path), separator, target.label, separator);
    }
    return relative(what, path, true);
  }

  /** The path as the config file names it: below $APPDIR, with the target's separator. */
  String inConfig(Path relative) {
    String text = relative.toString().replace(relative.getFileSystem().getSeparator(), "/");
    return "$APPDIR" + target.separator() + text.replace("/", target.separator());
  }

  List<Path> entries(String what, List<String> paths) {
    return paths.stream().map(p -> listEntry(what, p)).collect(Collectors.toList());
  }

  /** The splash image, checked to be of a format that the runtime shows. */
  Path splash(String path) {
    Path relative = relative("the splash image", path, false);
    byte[] head;
    try (InputStream in = Files.newInputStream(input.resolve(relative))) {
      head = in.readNBytes(16);
    } catch (IOException e) {
      throw Refusal.of("the splash image %s cannot be read: %s", relative, Refusal.reason(e));
    }
    if (Icons.splashFormat(head).isEmpty()) {
      throw Refusal.of("the splash image %s is not a PNG, GIF, JPEG or BMP file", relative);
    }
    return relative;
  }
}
