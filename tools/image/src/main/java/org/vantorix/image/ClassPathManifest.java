package org.vantorix.image;

import static org.vantorix.image.ConfigText.shown;

import java.net.URI;
import java.net.URISyntaxException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.jar.Attributes;
import org.vantorix.image.base.Refusal;

/** The Class-Path of a jar's manifest, which the runtime follows from the jar's directory. */
final class ClassPathManifest {
  /**
   * The existing entries of a jar's manifest Class-Path (relative URLs from the jar's directory).
   * One that leads out of the input directory is refused: the image would run without it.
   */
  static List<Path> entries(Path jar, Path relative, Path input) {
    if (!Files.isRegularFile(jar)) {
      return List.of();
    }
    String value =
        Jars.read(jar).mainAttribute(Attributes.Name.CLASS_PATH).orElse("");
    List<Path> found = new ArrayList<>();
    for (String item : value.split("\\s+")) {
      if (item.isEmpty()) {
        continue;
      }
      Path entry;
      try {
        URI resolved = jar.getParent().toUri().resolve(new URI(item));
        if (!"file".equalsIgnoreCase(resolved.getScheme())) {
          throw new URISyntaxException(item, "not a file");
        }
        entry = Path.of(resolved).normalize();
      } catch (URISyntaxException | IllegalArgumentException e) {
        throw Refusal.of(
            "the Class-Path entry %s of %s is not a relative file URL inside the input directory",
            shown(item), relative);
      }
      if (!entry.startsWith(input)) {
        throw Refusal.of(
            "the Class-Path entry %s of %s lies outside the input directory %s: the image would"
                + " run without it",
            item, relative, input);
      }
      if (Files.exists(entry)) {
        found.add(entry);
      }
    }
    return found;
  }

  private ClassPathManifest() {}
}
