package org.vantorix.image.base;

import java.io.File;
import java.io.IOException;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.Locale;

/** The machine the tool runs on: its system, its PATH, its null device, and removing a tree. */
public final class Host {
  /** Whether the tool runs on Windows. */
  public static final boolean WINDOWS =
      System.getProperty("os.name", "").toLowerCase(Locale.ROOT).startsWith("windows");

  /** An executable of the name on PATH (with {@code .exe} on Windows), absolute, or null. */
  public static Path onPath(String program) {
    String path = System.getenv("PATH");
    if (path == null) {
      return null;
    }
    String file = WINDOWS && !program.toLowerCase(Locale.ROOT).endsWith(".exe")
        ? program + ".exe" : program;
    for (String directory : path.split(File.pathSeparator)) {
      if (directory.isEmpty()) {
        continue;
      }
      Path candidate = Path.of(directory, file);
      if (Files.isRegularFile(candidate) && Files.isExecutable(candidate)) {
        return candidate.toAbsolutePath();
      }
    }
    return null;
  }

  /** What a program reads as its standard input when it is to read nothing. */
  public static File nullDevice() {
    return new File(WINDOWS ? "NUL" : "/dev/null");
  }

  /**
   * Removes a tree, links removed and never followed. What cannot be removed is left: this runs
   * where a failure is already being reported, and must not hide it.
   */
  public static void deleteTree(Path root) {
    if (root == null || !Files.exists(root, LinkOption.NOFOLLOW_LINKS)) {
      return;
    }
    try {
      Files.walkFileTree(
          root,
          new SimpleFileVisitor<>() {
            @Override
            public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) {
              deleteQuietly(file);
              return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult visitFileFailed(Path file, IOException e) {
              deleteQuietly(file);
              return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult postVisitDirectory(Path directory, IOException e) {
              deleteQuietly(directory);
              return FileVisitResult.CONTINUE;
            }
          });
    } catch (IOException e) {
      // Left behind, as said above.
    }
  }

  /** Removes a file if it is there; what cannot be removed is left, as in {@link #deleteTree}. */
  public static void deleteQuietly(Path path) {
    try {
      Files.deleteIfExists(path);
    } catch (IOException e) {
      // See deleteTree.
    }
  }

  private Host() {}
}
