package org.vantorix.image;

import java.io.IOException;
import java.nio.file.FileSystemLoopException;
import java.nio.file.FileVisitOption;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Deque;
import java.util.EnumSet;
import java.util.List;
import java.util.Set;
import org.vantorix.image.base.Refusal;

/**
 * The files of a directory tree that the writer copies, decided before anything is written: each
 * symbolic link is looked at on its own.
 */
final class Trees {
  /** One directory to make or file to copy; {@code relative} is below the tree's root. */
  record Copy(Path source, Path relative, boolean directory, long size) {}

  /**
   * The input directory's files. A link inside the input is copied as what it names; a link that
   * leads out of the input, nowhere or into a loop is refused, naming the link.
   */
  static List<Copy> ofInput(Path input) {
    Path root = realPath(input);
    List<Copy> copies = new ArrayList<>();
    walkInput(root, Path.of(""), input, root, new ArrayDeque<>(), copies);
    return List.copyOf(copies);
  }

  private static void walkInput(
      Path directory, Path base, Path input, Path root, Deque<Path> expanding, List<Copy> copies) {
    try {
      Files.walkFileTree(
          directory,
          EnumSet.noneOf(FileVisitOption.class),
          Integer.MAX_VALUE,
          new SimpleFileVisitor<>() {
            @Override
            public FileVisitResult preVisitDirectory(Path dir, BasicFileAttributes attributes) {
              copies.add(new Copy(dir, base.resolve(directory.relativize(dir)), true, 0));
              return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) {
              Path relative = base.resolve(directory.relativize(file));
              if (attributes.isSymbolicLink()) {
                followLink(file, relative, input, root, expanding, copies);
              } else if (attributes.isRegularFile()) {
                copies.add(new Copy(file, relative, false, attributes.size()));
              } else {
                throw Refusal.of(
                    "the input directory's %s is neither a file nor a directory",
                    input.resolve(relative));
              }
              return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult visitFileFailed(Path file, IOException e) {
              throw Refusal.of("%s cannot be read: %s", file, Refusal.reason(e));
            }
          });
    } catch (IOException e) {
      throw Refusal.of("%s cannot be read: %s", directory, Refusal.reason(e));
    }
  }

  private static void followLink(
      Path link, Path relative, Path input, Path root, Deque<Path> expanding, List<Copy> copies) {
    Path shownLink = input.resolve(relative);
    Path target;
    try {
      target = link.toRealPath();
    } catch (NoSuchFileException e) {
      throw Refusal.of("the symbolic link %s in the input directory leads nowhere", shownLink);
    } catch (IOException e) {
      throw Refusal.of(
          "the symbolic link %s in the input directory leads into a loop of links", shownLink);
    }
    if (!target.startsWith(root)) {
      throw Refusal.of(
          "the symbolic link %s leads out of the input directory (to %s): the image takes only"
              + " what lies inside it",
          shownLink, target);
    }
    if (!Files.isDirectory(target)) {
      copies.add(new Copy(target, relative, false, sizeOf(target)));
      return;
    }
    Path where = realPath(link.getParent());
    if (where.startsWith(target) || expanding.contains(target)) {
      throw Refusal.of(
          "the symbolic link %s in the input directory leads into a loop: it names %s, which holds"
              + " it",
          shownLink, target);
    }
    expanding.push(target);
    walkInput(target, relative, input, root, expanding, copies);
    expanding.pop();
  }

  /** A given runtime's files: links are followed, so the image depends on nothing outside. */
  static List<Copy> ofRuntime(Path runtime) {
    List<Copy> copies = new ArrayList<>();
    try {
      Files.walkFileTree(
          runtime,
          Set.of(FileVisitOption.FOLLOW_LINKS),
          Integer.MAX_VALUE,
          new SimpleFileVisitor<>() {
            @Override
            public FileVisitResult preVisitDirectory(Path dir, BasicFileAttributes attributes) {
              copies.add(new Copy(dir, runtime.relativize(dir), true, 0));
              return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) {
              // A link that leads nowhere is left out, as the runtime never reads it.
              if (attributes.isRegularFile()) {
                copies.add(new Copy(file, runtime.relativize(file), false, attributes.size()));
              }
              return FileVisitResult.CONTINUE;
            }

            @Override
            public FileVisitResult visitFileFailed(Path file, IOException e) {
              if (e instanceof FileSystemLoopException) {
                throw Refusal.of("the runtime %s holds a loop of links at %s", runtime, file);
              }
              throw Refusal.of("%s cannot be read: %s", file, Refusal.reason(e));
            }
          });
    } catch (IOException e) {
      throw Refusal.of("%s cannot be read: %s", runtime, Refusal.reason(e));
    }
    return List.copyOf(copies);
  }

  /** The bytes of the regular files below a directory, links not followed. */
  static long size(Path directory) {
    long[] total = {0};
    try {
      Files.walkFileTree(
          directory,
          new SimpleFileVisitor<>() {
            @Override
            public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) {
              if (attributes.isRegularFile()) {
                total[0] += attributes.size();
              }
              return FileVisitResult.CONTINUE;
            }
          });
    } catch (IOException e) {
      return total[0];
    }
    return total[0];
  }

  static Path realPath(Path path) {
    try {
      return path.toRealPath();
    } catch (IOException e) {
      throw Refusal.of("%s cannot be read: %s", path, Refusal.reason(e));
    }
  }

  private static long sizeOf(Path file) {
    try {
      return Files.size(file);
    } catch (IOException e) {
      return 0;
    }
  }

  private Trees() {}
}
