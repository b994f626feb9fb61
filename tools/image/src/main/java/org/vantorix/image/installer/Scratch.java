package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.Comparator;
import java.util.stream.Stream;

/**
 * The files an installer is built in: the installer is written under a hidden name beside its
 * place and moved there once complete, so that a failed build never leaves half an installer.
 */
final class Scratch {

  private Scratch() {}

  /** The hidden name beside the output that the build writes to. */
  static Path part(Path output) {
    return output.resolveSibling("." + output.getFileName() + ".part");
  }

  static void moveIntoPlace(Path part, Path output) throws IOException {
    try {
      Files.move(part, output, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
    } catch (AtomicMoveNotSupportedException e) {
      Files.move(part, output, StandardCopyOption.REPLACE_EXISTING);
    }
  }

  /** Deletes a directory with everything in it; links are deleted, never followed. */
  static void deleteTree(Path root) throws IOException {
    if (!Files.exists(root, LinkOption.NOFOLLOW_LINKS)) {
      return;
    }
    try (Stream<Path> paths = Files.walk(root)) {
      for (Path path : paths.sorted(Comparator.reverseOrder()).toList()) {
        Files.deleteIfExists(path);
      }
    }
  }
}
