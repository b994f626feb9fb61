package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;

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
}
