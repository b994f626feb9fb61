package org.vantorix.image;

import static org.vantorix.image.ConfigText.shown;

import java.io.IOException;
import java.net.URI;
import java.net.URISyntaxException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.jar.Attributes;
import java.util.stream.Stream;
import org.vantorix.image.base.Refusal;

/**
 * A jar's manifest Class-Path, judged as the Java runtime will read it on the users' machines.
 * The jar itself is never changed (a signed jar would break): what the runtime ignores or finds
 * elsewhere is a warning, and only an entry that would make the image depend on a file of the
 * build machine is refused.
 *
 * <ul>
 *   <li>a relative entry that names nothing: the runtime skips it, a warning;
 *   <li>a relative entry that leads out of the input to an existing file: refused, as the image
 *       would run without that file;
 *   <li>an absolute entry (a path or a file URL): the runtime looks there on each user's machine,
 *       a warning.
 * </ul>
 */
final class ClassPathManifest {
  /**
   * What a manifest's Class-Path gave.
   *
   * @param found the entries that exist inside the input, which jdeps looks at with the jar
   * @param warnings one line for each entry the image does not carry
   */
  record Result(List<Path> found, List<String> warnings) {}

  private ClassPathManifest() {}

  /**
   * Reads the Class-Path of {@code jar} (in the input directory {@code input}, shown as {@code
   * relative}).
   */
  static Result check(Path input, Path jar, Path relative) {
    if (!Files.isRegularFile(jar)) {
      return new Result(List.of(), List.of());
    }
    String value = Jars.read(jar).mainAttribute(Attributes.Name.CLASS_PATH).orElse("");
    List<Path> found = new ArrayList<>();
    List<String> warnings = new ArrayList<>();
    for (String item : value.split("\\s+")) {
      if (item.isEmpty()) {
        continue;
      }
      URI uri;
      Path entry;
      try {
        uri = new URI(item);
        URI resolved = jar.getParent().toUri().resolve(uri);
        if (!"file".equalsIgnoreCase(resolved.getScheme())) {
          throw new URISyntaxException(item, "not a file");
        }
        entry = Path.of(resolved).normalize();
      } catch (URISyntaxException | IllegalArgumentException e) {
        throw Refusal.of(
            "the Class-Path entry %s of %s is not a file URL (relative, or an absolute path)",
            shown(item), relative);
      }
      boolean absolute = uri.getScheme() != null || item.startsWith("/");
      if (absolute) {
        String sameName =
            sameNamedJar(input, entry.getFileName())
                .map(p -> "; a jar of that name, " + p + ", is in the image, but the runtime"
                    + " looks only at the entry's path")
                .orElse("");
        warnings.add(
            String.format(
                "the Class-Path entry %s of %s is absolute: the Java runtime will look for %s on"
                    + " the users' machines%s",
                item, relative, entry, sameName));
      } else if (!Files.exists(entry)) {
        warnings.add(
            String.format(
                "the Class-Path entry %s of %s names nothing (%s): the Java runtime skips it",
                item, relative, entry));
      } else if (!entry.startsWith(input)) {
        throw Refusal.of(
            "the Class-Path entry %s of %s leads out of the input directory to %s, which the"
                + " users' machines do not have: copy it into the input directory %s, laid out so"
                + " that the entry leads to it there",
            item, relative, entry, input);
      } else {
        found.add(entry);
      }
    }
    return new Result(List.copyOf(found), List.copyOf(warnings));
  }

  /** A regular file of the name in the input directory, as a path relative to it. */
  private static java.util.Optional<Path> sameNamedJar(Path input, Path name) {
    if (name == null) {
      return java.util.Optional.empty();
    }
    try (Stream<Path> files = Files.find(input, 32, (p, a) -> a.isRegularFile()
        && p.getFileName().equals(name))) {
      return files.map(input::relativize).sorted().findFirst();
    } catch (IOException | RuntimeException e) {
      return java.util.Optional.empty();
    }
  }
}
