package org.vantorix.image;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintWriter;
import java.net.URI;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Properties;
import java.util.Set;
import java.util.TreeMap;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Host;
import org.vantorix.image.base.Programs;
import org.vantorix.image.base.Guard;

/**
 * Makes the linked runtime of a plan: from the user's runtime cache when it was linked the same
 * way before, else with jlink and then made smaller without changing what it does, and kept in
 * the cache for the next image.
 *
 * <p>jlink's own lines (and those of its class-data step) are shown only with --verbose; what of
 * them matters becomes one note.
 */
final class RuntimeLinker {
  private static final String SIZES = "sizes.properties";
  private static final Pattern ARCHIVE_WARNING =
      Pattern.compile(
          "(?:Cannot find|resolve_indy for class|ClassNotFoundException:) ([\\w/$.]+)");

  /**
   * A runtime made.
   *
   * @param from the complete runtime to copy into the image, or null when it was linked there
   * @param summary the closing lines about the runtime
   * @param notes what the packager should know
   */
  record Made(Path from, List<String> summary, List<String> notes) {}

  private final Plan.Linked linked;
  private final Guard guard;
  private final PrintWriter out;
  private final boolean verbose;
  private final List<String> notes = new ArrayList<>();

  private RuntimeLinker(Plan.Linked linked, Guard guard, PrintWriter out, boolean verbose) {
    this.linked = linked;
    this.guard = guard;
    this.out = out;
    this.verbose = verbose;
  }

  /** The runtime of the plan; {@code runtime} is where it goes in the image being built. */
  static Made make(
      Plan.Linked linked, Target target, Path runtime, Guard guard, PrintWriter out,
      boolean verbose) {
    return new RuntimeLinker(linked, guard, out, verbose).make(target, runtime);
  }

  private Made make(Target target, Path runtime) {
    Shrinker shrinker = Shrinker.forTarget(target, linked.archives(), guard);
    shrinker.note().ifPresent(notes::add);
    RuntimeCache.Result opened = RuntimeCache.open();
    RuntimeCache cache = opened.cache();
    if (cache == null) {
      notes.add(opened.problem() + ": the runtime is linked without the cache");
    }
    String key = RuntimeCache.key(linked, shrinker.describe());
    long started = System.nanoTime();
    if (cache != null) {
      Path entry = cache.find(key);
      if (entry != null) {
        List<String> summary = new ArrayList<>();
        summary.add(
            "vantorix-image: runtime: reused from the runtime cache (linked before from the same"
                + " JDK, modules and options): " + entry);
        summary.addAll(lines(readSizes(entry), entry.resolve("runtime")));
        return new Made(entry.resolve("runtime"), summary, notes);
      }
    }
    Path staging = null;
    if (cache != null) {
      try {
        staging = cache.staging();
      } catch (IOException e) {
        notes.add("the runtime cache cannot be written (" + Refusal.reason(e)
            + "): the runtime is linked without it");
      }
    }
    try {
      Path output = staging == null ? runtime : staging.resolve("runtime");
      link(output);
      guard.check();
      shrinker.shrink(output);
      Map<String, Long> sizes = measure(output);
      List<String> summary = new ArrayList<>();
      summary.add(
          String.format(
              "vantorix-image: runtime linked in %.1f s%s", (System.nanoTime() - started) / 1e9,
              staging == null ? "" : " and kept in the runtime cache for the next image"));
      summary.addAll(lines(sizes, output));
      if (staging == null) {
        return new Made(null, summary, notes);
      }
      writeSizes(staging, sizes);
      guard.check();
      Path entry = cache.place(staging, key);
      staging = null;
      return new Made(entry.resolve("runtime"), summary, notes);
    } catch (IOException e) {
      throw Refusal.of("the linked runtime cannot be kept: %s", Refusal.reason(e));
    } finally {
      if (staging != null) {
        Host.deleteTree(staging);
      }
    }
  }

  private void link(Path output) {
    List<String> args = new ArrayList<>(linked.options());
    args.addAll(List.of("--output", output.toString()));
    out.printf(
        "vantorix-image: linking the Java runtime of %d modules with jlink...%n",
        linked.modules().size());
    if (verbose) {
      out.println("vantorix-image: jlink " + String.join(" ", args));
    }
    out.flush();
    Programs.Result result = linked.jdk().runApart("jlink", args, guard);
    guard.check();
    if (verbose) {
      Stream.of(result.out(), result.err())
          .flatMap(String::lines)
          .forEach(line -> out.println("vantorix-image: jlink: " + line));
      out.flush();
    }
    if (result.code() != 0) {
      throw Refusal.of("jlink failed: %s", result.lastLine());
    }
    // The class-data step names each class it could not archive, some more than once.
    Set<String> unarchived = new TreeSet<>();
    long other = 0;
    for (String line : (result.out() + "\n" + result.err()).split("\n")) {
      if (!line.contains("[warning][cds")) {
        continue;
      }
      Matcher named = ARCHIVE_WARNING.matcher(line);
      if (named.find()) {
        unarchived.add(named.group(1).replace('/', '.'));
      } else {
        other++;
      }
    }
    if ((!unarchived.isEmpty() || other > 0) && !verbose) {
      notes.add(
          String.format(
              "the class-data archive leaves out %d classes of the JDK's list that this runtime"
                  + " does not have or cannot archive%s; the runtime loads what it needs of them"
                  + " as without an archive (--verbose shows jlink's lines)",
              unarchived.size(), other == 0 ? "" : String.format(" (and %d other warnings)", other)));
    }
  }

  /** The bytes that each module's classes and data take in the runtime's module image. */
  private static Map<String, Long> measure(Path runtime) {
    Map<String, Long> sizes = new TreeMap<>();
    try (FileSystem jrt =
        FileSystems.newFileSystem(URI.create("jrt:/"), Map.of("java.home", runtime.toString()))) {
      try (Stream<Path> modules = Files.list(jrt.getPath("/modules"))) {
        for (Path module : modules.toList()) {
          long[] total = {0};
          try (Stream<Path> files = Files.walk(module)) {
            files.filter(Files::isRegularFile).forEach(f -> total[0] += sizeOf(f));
          }
          sizes.put(module.getFileName().toString(), total[0]);
        }
      }
    } catch (IOException | RuntimeException e) {
      // The sizes are for the summary only.
      return Map.of();
    }
    return sizes;
  }

  /** A file's bytes in the module image: compressed, where the image compresses it. */
  private static long sizeOf(Path file) {
    try {
      Object compressed = Files.getAttribute(file, "jrt:compressedSize");
      if (compressed instanceof Long bytes && bytes > 0) {
        return bytes;
      }
      return Files.size(file);
    } catch (IOException | RuntimeException e) {
      return 0;
    }
  }

  /** The summary's lines: each module and why it is there, and what the services cost. */
  private List<String> lines(Map<String, Long> sizes, Path runtime) {
    List<String> lines = new ArrayList<>();
    lines.add(String.format("vantorix-image: %d modules:", linked.modules().size()));
    long locales = 0;
    long services = 0;
    for (String module : linked.modules()) {
      String reason = linked.reasons().get(module);
      lines.add("vantorix-image:   " + module + ": " + reason);
      long size = sizes.getOrDefault(module, 0L);
      if (module.equals(ModuleChoice.LOCALE_DATA)) {
        locales += size;
      } else if (reason.startsWith(ModuleChoice.SERVICE) || reason.equals(ModuleChoice.BY_NAME)) {
        services += size;
      }
    }
    ModuleChoice.LeftOut leftOut = linked.leftOut();
    if (!leftOut.tools().isEmpty() || !leftOut.apis().isEmpty()
        || !leftOut.services().isEmpty()) {
      List<String> parts = new ArrayList<>();
      if (!leftOut.services().isEmpty()) {
        parts.add("run-time services, as --only-found-modules asks ("
            + String.join(", ", leftOut.services()) + ")");
      }
      if (!leftOut.tools().isEmpty()) {
        parts.add("tools and JDK internals (" + String.join(", ", leftOut.tools()) + ")");
      }
      if (!leftOut.apis().isEmpty()) {
        parts.add("API modules that also provide a service used here, which --add-modules adds ("
            + String.join(", ", leftOut.apis()) + ")");
      }
      lines.add("vantorix-image: not linked: " + String.join("; ", parts));
    }
    if (!sizes.isEmpty() && (locales > 0 || services > 0)) {
      lines.add(
          String.format(
              "vantorix-image: of the module image, the locale data take %s%s and the other"
                  + " run-time services %s%s",
              ImageWriter.size(locales),
              linked.options().stream().anyMatch(o -> o.startsWith("--include-locales"))
                  ? ""
                  : " (--include-locales keeps only the locales named)",
              ImageWriter.size(services),
              " (--only-found-modules leaves them out)"));
    }
    lines.add(
        String.format(
            "vantorix-image: runtime: %s, linked by jlink%s",
            ImageWriter.size(Trees.size(runtime)),
            linked.archive()
                ? " with a class-data archive"
                : " without a class-data archive (it is made only for this machine's platform)"));
    return lines;
  }

  private static void writeSizes(Path entry, Map<String, Long> sizes) throws IOException {
    Properties properties = new Properties();
    sizes.forEach((module, size) -> properties.setProperty(module, Long.toString(size)));
    try (OutputStream file = Files.newOutputStream(entry.resolve(SIZES))) {
      properties.store(file, null);
    }
  }

  private static Map<String, Long> readSizes(Path entry) {
    Map<String, Long> sizes = new TreeMap<>();
    Properties properties = new Properties();
    try (InputStream file = Files.newInputStream(entry.resolve(SIZES))) {
      properties.load(file);
      properties.forEach((k, v) -> sizes.put((String) k, Long.parseLong((String) v)));
    } catch (IOException | RuntimeException e) {
      return Map.of();
    }
    return sizes;
  }
}
