package org.vantorix.image.installer;

import java.io.IOException;
import java.io.OutputStream;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.LinkOption;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Set;

/**
 * The files an installer is built in: the tool's own temporary directory, from which the
 * finished installer is copied into a file of a random name beside its place, created for this
 * build alone, and then renamed into place, so that a failed build never leaves half an installer
 * and nothing that another user put in a shared directory is written through.
 */
final class Scratch {

  private static final Set<PosixFilePermission> READABLE =
      PosixFilePermissions.fromString("rw-r--r--");

  private Scratch() {}

  /** Puts the built file at the output, in one step. */
  static void moveIntoPlace(Path built, Path output) throws IOException {
    Path part = Files.createTempFile(output.getParent(), "." + output.getFileName() + ".", ".part");
    try {
      try (OutputStream out = Files.newOutputStream(part, StandardOpenOption.WRITE,
          StandardOpenOption.TRUNCATE_EXISTING, LinkOption.NOFOLLOW_LINKS)) {
        Files.copy(built, out);
      }
      if (Files.getFileStore(part).supportsFileAttributeView(PosixFileAttributeView.class)) {
        Files.setPosixFilePermissions(part, READABLE);
      }
      try {
        Files.move(part, output, StandardCopyOption.REPLACE_EXISTING,
            StandardCopyOption.ATOMIC_MOVE);
      } catch (AtomicMoveNotSupportedException e) {
        Files.move(part, output, StandardCopyOption.REPLACE_EXISTING);
      }
    } finally {
      Files.deleteIfExists(part);
    }
  }
}
