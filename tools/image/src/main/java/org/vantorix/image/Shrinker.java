package org.vantorix.image;

import java.io.IOException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.Set;
import java.time.Duration;
import java.util.stream.Stream;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Host;
import org.vantorix.image.base.Programs;
import org.vantorix.image.base.Guard;

/**
 * Makes a linked runtime smaller without changing what it runs: its native libraries lose what
 * only debuggers read (the full symbol table; the dynamic symbols, which crash reports name
 * frames by, stay), and the class-data archives that the runtime will not use go.
 *
 * <p>Stripping needs the binutils' {@code strip} on the PATH and is done for Linux targets; a
 * Windows JDK's libraries carry no symbol table to strip. Without {@code strip} the libraries
 * stay as jlink wrote them, and a note says so.
 */
final class Shrinker {
  private static final Duration STRIP_TIMEOUT = Duration.ofMinutes(2);

  private final Path strip;
  private final Set<String> archives;
  private final Guard guard;
  private final String note;

  private Shrinker(Path strip, Set<String> archives, Guard guard, String note) {
    this.strip = strip;
    this.archives = archives;
    this.guard = guard;
    this.note = note;
  }

  static Shrinker forTarget(Target target, Set<String> archives, Guard guard) {
    if (target.windows) {
      return new Shrinker(null, archives, guard, null);
    }
    Path strip = Host.onPath("strip");
    return new Shrinker(
        strip, archives, guard,
        strip != null
            ? null
            : "no strip on the PATH (binutils): the runtime's native libraries keep their symbol"
                + " tables, about 4 MB more");
  }

  Optional<String> note() {
    return Optional.ofNullable(note);
  }

  /** What the shrinking does, for the runtime cache's key. */
  String describe() {
    return "strip=" + (strip == null ? "" : strip + " --strip-unneeded") + " archives=" + archives;
  }

  void shrink(Path runtime) throws IOException {
    Path server = runtime.resolve("lib/server");
    if (Files.isDirectory(server)) {
      try (DirectoryStream<Path> files = Files.newDirectoryStream(server, "*.jsa")) {
        for (Path archive : files) {
          if (!archives.contains(archive.getFileName().toString())) {
            Files.delete(archive);
          }
        }
      }
    }
    if (strip == null) {
      return;
    }
    List<String> command = new ArrayList<>(List.of(strip.toString(), "--strip-unneeded"));
    try (Stream<Path> files = Files.walk(runtime.resolve("lib"))) {
      files
          .filter(p -> p.getFileName().toString().endsWith(".so") && Files.isRegularFile(p))
          .sorted()
          .forEach(p -> command.add(p.toString()));
    }
    if (command.size() == 2) {
      return;
    }
    Programs.Result result =
        Programs.run(new ProcessBuilder(command), guard, STRIP_TIMEOUT, strip.toString());
    if (result.code() != 0) {
      throw Refusal.of(
          "%s --strip-unneeded failed on the runtime's libraries: %s", strip, result.lastLine());
    }
  }
}
