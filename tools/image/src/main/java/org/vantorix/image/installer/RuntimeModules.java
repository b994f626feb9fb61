package org.vantorix.image.installer;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Properties;
import java.util.Set;
import java.util.TreeSet;

/** The modules that an image's runtime holds, as its {@code release} file lists them. */
final class RuntimeModules {

  private RuntimeModules() {}

  /** The modules named by {@code runtime/release}; none when the image has no such file. */
  static Set<String> of(Path image) {
    Path release = image.resolve("runtime").resolve("release");
    Set<String> modules = new TreeSet<>();
    if (!Files.isRegularFile(release)) {
      return modules;
    }
    Properties properties = new Properties();
    try (InputStream in = Files.newInputStream(release)) {
      properties.load(in);
    } catch (IOException | IllegalArgumentException e) {
      return modules;
    }
    String value = properties.getProperty("MODULES", "").replace("\"", "").strip();
    for (String module : value.split("\\s+")) {
      if (!module.isEmpty()) {
        modules.add(module);
      }
    }
    return modules;
  }
}
