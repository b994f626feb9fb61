package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.file.FileVisitResult;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.SimpleFileVisitor;
import java.nio.file.attribute.BasicFileAttributes;
import java.util.ArrayList;
import java.util.List;

/**
 * The files and directories of an image, in the order of a walk that follows no link.
 *
 * @param directories the directories below the root, each before its contents
 * @param files the regular files and symbolic links
 * @param bytes the size of the regular files together
 */
record ImageFiles(List<Entry> directories, List<Entry> files, long bytes) {

  /**
   * One file or directory.
   *
   * @param source where it is now
   * @param parts the names on the way from the image's root to it
   * @param link whether it is a symbolic link (only files are)
   */
  record Entry(Path source, List<String> parts, boolean link) {

    String relative(String separator) {
      return String.join(separator, parts);
    }

    String fileName() {
      return parts.get(parts.size() - 1);
    }
  }

  static ImageFiles walk(Path root) throws IOException {
    List<Entry> directories = new ArrayList<>();
    List<Entry> files = new ArrayList<>();
    long[] bytes = {0};
    Files.walkFileTree(root, new SimpleFileVisitor<>() {
      @Override
      public FileVisitResult preVisitDirectory(Path directory, BasicFileAttributes attributes) {
        if (!directory.equals(root)) {
          directories.add(entry(directory, false));
        }
        return FileVisitResult.CONTINUE;
      }

      @Override
      public FileVisitResult visitFile(Path file, BasicFileAttributes attributes) {
        files.add(entry(file, attributes.isSymbolicLink()));
        if (attributes.isRegularFile()) {
          bytes[0] += attributes.size();
        }
        return FileVisitResult.CONTINUE;
      }

      private Entry entry(Path path, boolean link) {
        List<String> parts = new ArrayList<>();
        for (Path part : root.relativize(path)) {
          parts.add(part.toString());
        }
        return new Entry(path, List.copyOf(parts), link);
      }
    });
    return new ImageFiles(List.copyOf(directories), List.copyOf(files), bytes[0]);
  }
}
