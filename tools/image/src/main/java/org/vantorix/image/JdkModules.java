package org.vantorix.image;

import java.io.IOException;
import java.io.InputStream;
import java.net.URI;
import java.nio.file.DirectoryStream;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Map;
import java.util.TreeMap;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import org.vantorix.image.base.Refusal;

/**
 * The descriptors of every module of a JDK: from its jmods (of any platform), or from its own
 * run-time image through that JDK's jrt file system.
 */
final class JdkModules {
  private JdkModules() {}

  static Map<String, ModuleInfo> of(Jdk jdk) {
    Map<String, ModuleInfo> modules = new TreeMap<>();
    try {
      if (jdk.jmods() != null) {
        try (DirectoryStream<Path> jmods = Files.newDirectoryStream(jdk.jmods(), "*.jmod")) {
          for (Path jmod : jmods) {
            // A jmod is a zip file behind a four-byte header, which ZipFile reads past.
            try (ZipFile zip = new ZipFile(jmod.toFile())) {
              ZipEntry entry = zip.getEntry("classes/module-info.class");
              if (entry == null) {
                continue;
              }
              try (InputStream in = zip.getInputStream(entry)) {
                add(modules, in.readNBytes((int) Math.min(entry.getSize(), Jars.CLASS_LIMIT)));
              }
            }
          }
        }
      } else {
        try (FileSystem jrt =
            FileSystems.newFileSystem(
                URI.create("jrt:/"), Map.of("java.home", jdk.home().toString()))) {
          try (DirectoryStream<Path> all = Files.newDirectoryStream(jrt.getPath("/modules"))) {
            for (Path module : all) {
              Path descriptor = module.resolve("module-info.class");
              if (Files.isRegularFile(descriptor)) {
                add(modules, Files.readAllBytes(descriptor));
              }
            }
          }
        }
      }
    } catch (IOException | RuntimeException e) {
      throw Refusal.of(
          "the module descriptors of %s cannot be read: %s", jdk.modules(),
          e instanceof IOException io ? Refusal.reason(io) : String.valueOf(e.getMessage()));
    }
    if (!modules.containsKey("java.base")) {
      throw Refusal.of("the JDK modules in %s hold no java.base", jdk.modules());
    }
    return modules;
  }

  private static void add(Map<String, ModuleInfo> modules, byte[] classFile) throws IOException {
    ModuleInfo info = ModuleInfo.read(classFile);
    modules.put(info.name(), info);
  }
}
