package org.vantorix.image;

import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.io.UncheckedIOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import java.util.spi.ToolProvider;
import java.util.stream.Stream;

/**
 * Small stand-ins for what the tool reads: launchers and launch libraries that are only the
 * header the tool looks at, jars made here, and one run of the tool in process.
 */
public final class Fixtures {
  /** One run of the tool through its ToolProvider. */
  public record Run(int code, String out, String err) {
    public List<String> errLines() {
      return err.lines().toList();
    }
  }

  public static Run run(List<String> args) {
    StringWriter out = new StringWriter();
    StringWriter err = new StringWriter();
    // The tool itself, not ToolProvider.findFirst: that looks only in the system class loader.
    ToolProvider tool = new ImageTool();
    int code =
        tool.run(new PrintWriter(out), new PrintWriter(err), args.toArray(String[]::new));
    return new Run(code, out.toString(), err.toString());
  }

  public static Run run(String... args) {
    return run(List.of(args));
  }

  /** The class path that holds the tool, for a run of its own process. */
  public static String toolClassPath() {
    try {
      return Path.of(ImageTool.class.getProtectionDomain().getCodeSource().getLocation().toURI())
          .toString();
    } catch (java.net.URISyntaxException e) {
      throw new IllegalStateException(e);
    }
  }

  /** A PE file of the machine type (0x8664 x64, 0x14c x86): only its headers. */
  public static Path pe(Path path, int machine) {
    ByteBuffer data = ByteBuffer.allocate(128).order(ByteOrder.LITTLE_ENDIAN);
    data.put(0, (byte) 'M').put(1, (byte) 'Z').putInt(0x3c, 0x40);
    data.put(0x40, (byte) 'P').put(0x41, (byte) 'E').putShort(0x44, (short) machine);
    return write(path, data.array());
  }

  /** An ELF file of the class (1 or 2) and machine (62 x86-64, 3 x86): only its header. */
  public static Path elf(Path path, int elfClass, int machine) {
    ByteBuffer data = ByteBuffer.allocate(64).order(ByteOrder.LITTLE_ENDIAN);
    data.put(0, (byte) 0x7f).put(1, (byte) 'E').put(2, (byte) 'L').put(3, (byte) 'F');
    data.put(4, (byte) elfClass).put(5, (byte) 1).putShort(18, (short) machine);
    return write(path, data.array());
  }

  /** The Windows x64 launchers in a directory of their own. */
  public static Path windowsKit(Path directory) {
    pe(directory.resolve("VantorixLauncher.exe"), 0x8664);
    pe(directory.resolve("VantorixLauncherConsole.exe"), 0x8664);
    return directory;
  }

  /** A Windows x64 runtime: bin/jli.dll and nothing else. */
  public static Path windowsRuntime(Path directory) {
    pe(directory.resolve("bin/jli.dll"), 0x8664);
    return directory;
  }

  public static Path linuxKit(Path directory) {
    Path launcher = elf(directory.resolve("VantorixLauncher"), 2, 62);
    executable(launcher);
    return directory;
  }

  /** A jar of the entries (name to bytes), with Main-Class when mainClass is not null. */
  public static Path jar(Path path, String mainClass, Map<String, byte[]> entries) {
    Manifest manifest = new Manifest();
    manifest.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
    if (mainClass != null) {
      manifest.getMainAttributes().put(Attributes.Name.MAIN_CLASS, mainClass);
    }
    try {
      Files.createDirectories(path.getParent());
      try (OutputStream file = Files.newOutputStream(path);
          JarOutputStream jar = new JarOutputStream(file, manifest)) {
        for (Map.Entry<String, byte[]> entry : new TreeMap<>(entries).entrySet()) {
          jar.putNextEntry(new JarEntry(entry.getKey()));
          jar.write(entry.getValue());
          jar.closeEntry();
        }
      }
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
    return path;
  }

  private static byte[] mainClass;

  /** The class file of {@code public class Main}, compiled once with the JDK's javac. */
  public static synchronized byte[] mainClass() {
    if (mainClass == null) {
      try {
        Path work = Files.createTempDirectory("vx-fixture-");
        Path source = write(work.resolve("Main.java"),
            "public class Main { public static void main(String[] args) {} }\n"
                .getBytes(StandardCharsets.UTF_8));
        javac("-d", work.toString(), source.toString());
        mainClass = Files.readAllBytes(work.resolve("Main.class"));
        deleteTree(work);
      } catch (IOException e) {
        throw new UncheckedIOException(e);
      }
    }
    return mainClass;
  }

  /** An input directory with main.jar (a real class Main, named by its manifest). */
  public static Path input(Path directory) {
    jar(directory.resolve("main.jar"), "Main", Map.of("Main.class", mainClass()));
    return directory;
  }

  public static void tool(String name, String... args) {
    StringWriter out = new StringWriter();
    int code =
        ToolProvider.findFirst(name)
            .orElseThrow()
            .run(new PrintWriter(out), new PrintWriter(out), args);
    if (code != 0) {
      throw new IllegalStateException(name + " " + Arrays.toString(args) + ": " + out);
    }
  }

  public static void javac(String... args) {
    tool("javac", args);
  }

  public static Path write(Path path, byte[] data) {
    try {
      Files.createDirectories(path.getParent());
      return Files.write(path, data);
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }

  public static Path write(Path path, String text) {
    return write(path, text.getBytes(StandardCharsets.UTF_8));
  }

  /** A shell script, executable. */
  public static Path script(Path path, String body) {
    return executable(write(path, "#!/bin/sh\n" + body));
  }

  public static Path executable(Path path) {
    try {
      Files.setPosixFilePermissions(path, PosixFilePermissions.fromString("rwxr-xr-x"));
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
    return path;
  }

  /** Every path below a directory, relative and sorted, for "left as it was". */
  public static List<String> listing(Path directory) {
    if (!Files.exists(directory)) {
      return List.of();
    }
    try (Stream<Path> paths = Files.walk(directory)) {
      List<String> found = new ArrayList<>();
      paths.filter(p -> !p.equals(directory))
          .forEach(p -> found.add(directory.relativize(p).toString()));
      found.sort(null);
      return found;
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }

  public static void deleteTree(Path directory) throws IOException {
    try (Stream<Path> paths = Files.walk(directory)) {
      for (Path path : paths.sorted(java.util.Comparator.reverseOrder()).toList()) {
        Files.delete(path);
      }
    }
  }

  private Fixtures() {}
}
