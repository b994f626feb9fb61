package org.vantorix.image;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.lang.module.FindException;
import java.lang.module.ModuleFinder;
import java.lang.module.ModuleReader;
import java.lang.module.ModuleReference;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.Optional;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.Manifest;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipException;
import java.util.zip.ZipFile;
import org.vantorix.image.base.Refusal;

/**
 * What the tool reads inside jars and class directories, through the JDK's own readers: {@link
 * JarFile} for manifests and (multi-release) entries, {@link ModuleFinder} for modules.
 *
 * <p>Every jar is first checked entry by entry for what the JDK reads into memory whole: the
 * manifest and module-info.class must inflate to their recorded size, under a bound, with their
 * recorded CRC. A jar that fails is one refusal line.
 */
final class Jars {
  static final String MANIFEST = "META-INF/MANIFEST.MF";
  static final long MANIFEST_LIMIT = 8L << 20;
  static final long CLASS_LIMIT = 4L << 20;

  /** One class-path or module-path element: a jar (checked) or a directory. */
  record Entry(Path path, boolean jar, Manifest manifest) {
    /** Whether the element holds the class, in a multi-release jar also as a versioned entry. */
    boolean hasClass(String className) {
      String name = className.replace('.', '/') + ".class";
      if (!jar) {
        return Files.isRegularFile(path.resolve(name));
      }
      try (JarFile file = open(path)) {
        return file.getJarEntry(name) != null;
      } catch (IOException | RuntimeException e) {
        throw unreadable(path, e);
      }
    }

    Optional<String> mainAttribute(Attributes.Name name) {
      return Optional.ofNullable(manifest)
          .map(m -> m.getMainAttributes().getValue(name))
          .map(String::trim)
          .filter(v -> !v.isEmpty());
    }
  }

  /** Reads a class-path or module-path element. */
  static Entry read(Path path) {
    if (Files.isDirectory(path)) {
      return new Entry(path, false, null);
    }
    checkBounded(path);
    try (JarFile file = open(path)) {
      return new Entry(path, true, file.getManifest());
    } catch (IOException | RuntimeException e) {
      throw unreadable(path, e);
    }
  }

  private static JarFile open(Path path) throws IOException {
    return new JarFile(path.toFile(), false, ZipFile.OPEN_READ, Runtime.version());
  }

  /**
   * Refuses a jar whose manifest or module descriptors inflate past their bound or their recorded
   * size, or whose recorded CRC does not match: those entries are read whole by the JDK.
   */
  static void checkBounded(Path path) {
    try (ZipFile zip = new ZipFile(path.toFile())) {
      Enumeration<? extends ZipEntry> entries = zip.entries();
      while (entries.hasMoreElements()) {
        ZipEntry entry = entries.nextElement();
        String name = entry.getName();
        if (name.equalsIgnoreCase(MANIFEST)) {
          checkEntry(zip, entry, MANIFEST_LIMIT, path);
        } else if (name.endsWith("module-info.class")) {
          checkEntry(zip, entry, CLASS_LIMIT, path);
        }
      }
    } catch (IOException | RuntimeException e) {
      throw unreadable(path, e);
    }
  }

  private static void checkEntry(ZipFile zip, ZipEntry entry, long limit, Path path)
      throws IOException {
    long declared = entry.getSize();
    if (declared > limit) {
      throw Refusal.of(
          "%s is not a readable jar: its %s is %d bytes, more than the %d a jar may hold",
          path, entry.getName(), declared, limit);
    }
    CRC32 crc = new CRC32();
    long total = 0;
    byte[] buffer = new byte[65536];
    try (InputStream in = zip.getInputStream(entry)) {
      for (int n; (n = in.read(buffer)) > 0; ) {
        total += n;
        if (total > limit || (declared >= 0 && total > declared)) {
          throw Refusal.of(
              "%s is not a readable jar: its %s inflates past its recorded size",
              path, entry.getName());
        }
        crc.update(buffer, 0, n);
      }
    }
    if ((declared >= 0 && total != declared)
        || (entry.getCrc() >= 0 && crc.getValue() != entry.getCrc())) {
      throw Refusal.of(
          "%s is not a readable jar: its %s is damaged (size or CRC does not match)",
          path, entry.getName());
    }
  }

  static Refusal unreadable(Path path, Exception e) {
    if (e instanceof Refusal refusal) {
      return refusal;
    }
    if (e instanceof UncheckedIOException unchecked) {
      e = unchecked.getCause();
    }
    String why = e.getMessage() == null ? e.getClass().getSimpleName() : e.getMessage();
    if (e instanceof ZipException && why.isEmpty()) {
      why = "not a zip file";
    }
    return Refusal.of("%s is not a readable jar: %s", path, Refusal.oneLine(why));
  }

  /** A module found on the module path. */
  record Module(String name, Optional<String> mainClass, Path location, boolean automatic) {}

  /**
   * Every module of the module-path elements, the first of a name winning as in the runtime: a
   * modular or plain jar, an exploded module, or a directory of those.
   */
  static List<Module> modulesOn(List<Path> paths) {
    for (Path path : paths) {
      for (Path jar : jarsOf(path)) {
        checkBounded(jar);
      }
    }
    List<Module> found = new ArrayList<>();
    try {
      for (ModuleReference reference : ModuleFinder.of(paths.toArray(Path[]::new)).findAll()) {
        Path location = reference.location().map(Path::of).orElse(null);
        found.add(
            new Module(
                reference.descriptor().name(),
                reference.descriptor().mainClass(),
                location,
                reference.descriptor().isAutomatic()));
      }
    } catch (FindException e) {
      String why = e.getMessage();
      Throwable cause = e.getCause();
      if (cause != null && cause.getMessage() != null) {
        why += ": " + cause.getMessage();
      }
      throw Refusal.of("the module path cannot be read: %s", Refusal.oneLine(why));
    }
    return found;
  }

  /** Whether a module holds the class. */
  static boolean moduleHasClass(Path location, String className) {
    String name = className.replace('.', '/') + ".class";
    try {
      Optional<ModuleReference> reference =
          ModuleFinder.of(location).findAll().stream().findFirst();
      if (reference.isEmpty()) {
        return false;
      }
      try (ModuleReader reader = reference.get().open()) {
        return reader.find(name).isPresent();
      }
    } catch (IOException | RuntimeException e) {
      throw unreadable(location, e);
    }
  }

  private static List<Path> jarsOf(Path path) {
    if (Files.isRegularFile(path)) {
      return List.of(path);
    }
    List<Path> jars = new ArrayList<>();
    if (Files.isDirectory(path) && !Files.exists(path.resolve("module-info.class"))) {
      try (DirectoryStream<Path> children = Files.newDirectoryStream(path, "*.jar")) {
        children.forEach(
            child -> {
              if (Files.isRegularFile(child)) {
                jars.add(child);
              }
            });
      } catch (IOException e) {
        throw Refusal.of("the module-path entry %s cannot be read: %s", path, e.getMessage());
      }
    }
    return jars;
  }

  private Jars() {}
}
