package org.vantorix.image;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Stream;
import org.vantorix.image.base.Refusal;

/**
 * A class-path entry "DIR/*" (or "*"), as the java command reads it: every file of the directory
 * whose name ends with .jar or .JAR, not those of its subdirectories. The runtime takes them in
 * the order the directory lists them, which differs between machines; the image takes them in
 * name order, so that every user runs the same class path.
 */
final class ClassPathWildcard {
  private ClassPathWildcard() {}

  static boolean is(String entry) {
    return entry.equals("*") || entry.endsWith("/*") || entry.endsWith("\\*");
  }

  /** The entries that the wildcard stands for, as paths relative to the input directory. */
  static List<String> expand(Path input, String entry) {
    String directory = entry.substring(0, entry.length() - 1);
    Path full = input.resolve(directory.isEmpty() ? "." : directory).normalize();
    if (!Files.isDirectory(full)) {
      throw Refusal.of(
          "the class-path entry %s names the jars of %s, which is no directory in the input"
              + " directory %s",
          entry, directory.isEmpty() ? "." : directory, input);
    }
    List<String> jars;
    try (Stream<Path> children = Files.list(full)) {
      jars =
          children
              .filter(ClassPathWildcard::isJar)
              .map(p -> directory + p.getFileName())
              .sorted()
              .toList();
    } catch (IOException e) {
      throw Refusal.of("the directory %s cannot be read: %s", full, Refusal.reason(e));
    }
    if (jars.isEmpty()) {
      throw Refusal.of(
          "the class-path entry %s names no jar: %s holds no file ending with .jar", entry, full);
    }
    return jars;
  }

  private static boolean isJar(Path path) {
    String name = path.getFileName().toString();
    return (name.endsWith(".jar") || name.endsWith(".JAR")) && Files.isRegularFile(path);
  }
}
