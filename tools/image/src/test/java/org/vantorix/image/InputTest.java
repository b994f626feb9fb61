package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.OutputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * Input trees as applications ship them: jars whose manifest Class-Path names what the image does
 * not carry, class-path wildcards, and symbolic links that cannot be copied.
 */
class InputTest {
  @TempDir Path work;

  private List<String> options(Path input, Path output, String... entryPoint) {
    List<String> options =
        new ArrayList<>(
            List.of("--name", "Orbit", "--input", input.toString(), "--launchers",
                Fixtures.windowsKit(work.resolve("kit")).toString(), "--runtime",
                Fixtures.windowsRuntime(work.resolve("runtime")).toString(), "--output",
                output.toString(), "--brand-tool",
                Fixtures.script(work.resolve("brand"), "exit 0\n").toString()));
    options.addAll(List.of(entryPoint));
    return options;
  }

  /** A jar with Main and a manifest of the Main-Class and Class-Path given. */
  private static Path jar(Path path, String mainClass, String classPath, String... more) {
    Manifest manifest = new Manifest();
    Attributes main = manifest.getMainAttributes();
    main.put(Attributes.Name.MANIFEST_VERSION, "1.0");
    if (mainClass != null) {
      main.put(Attributes.Name.MAIN_CLASS, mainClass);
    }
    if (classPath != null) {
      main.put(Attributes.Name.CLASS_PATH, classPath);
    }
    try {
      Files.createDirectories(path.getParent());
      try (OutputStream file = Files.newOutputStream(path);
          JarOutputStream jar = new JarOutputStream(file, manifest)) {
        jar.putNextEntry(new JarEntry("Main.class"));
        jar.write(Fixtures.mainClass());
        for (String name : more) {
          jar.putNextEntry(new JarEntry(name));
          jar.write(name.getBytes(StandardCharsets.UTF_8));
        }
      }
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
    return path;
  }

  @Test
  void aDistributionJarGoesInAsShippedWithWarnings() throws Exception {
    Path input = work.resolve("input");
    Path shared = Files.createDirectories(work.resolve("usr/share/java"));
    Path present = Fixtures.write(shared.resolve("commons-io.jar"), "elsewhere");
    Path absent = shared.resolve("fontbox.jar");
    // A signed jar, as distributions ship them: copied as it is, never rewritten.
    Path main =
        jar(input.resolve("pdftool.jar"), "Main",
            present + " file:" + absent + " lib/missing.jar ../gone.jar lib/helper.jar",
            "META-INF/PDFTOOL.SF", "META-INF/PDFTOOL.RSA");
    jar(input.resolve("lib/helper.jar"), null, null);
    Fixtures.write(input.resolve("lib/commons-io.jar"), "the image's own copy");
    byte[] shipped = Files.readAllBytes(main);

    Path output = work.resolve("Orbit");
    Fixtures.Run run = Fixtures.run(options(input, output, "--main-jar", "pdftool.jar"));
    assertEquals(0, run.code(), run.err());
    assertEquals(
        List.of(
            "vantorix-image: warning: the Class-Path entry " + present + " of pdftool.jar is"
                + " absolute: the Java runtime will look for " + present + " on the users'"
                + " machines; a jar of that name, lib/commons-io.jar, is in the image, but the"
                + " runtime looks only at the entry's path",
            "vantorix-image: warning: the Class-Path entry file:" + absent + " of pdftool.jar is"
                + " absolute: the Java runtime will look for " + absent + " on the users'"
                + " machines",
            "vantorix-image: warning: the Class-Path entry lib/missing.jar of pdftool.jar names"
                + " nothing (" + input.resolve("lib/missing.jar") + "): the Java runtime skips it",
            "vantorix-image: warning: the Class-Path entry ../gone.jar of pdftool.jar names"
                + " nothing (" + work.resolve("gone.jar") + "): the Java runtime skips it"),
        run.errLines());
    assertArrayEquals(shipped, Files.readAllBytes(output.resolve("app/pdftool.jar")));
  }

  @Test
  void aRelativeEntryToAFileOutsideIsRefusedAndNothingWritten() throws Exception {
    Path input = work.resolve("input");
    jar(input.resolve("app.jar"), "Main", "lib/ok.jar ../outside/dep.jar");
    jar(input.resolve("lib/ok.jar"), null, null);
    Path dep = jar(work.resolve("outside/dep.jar"), null, null);
    Path parent = Files.createDirectories(work.resolve("out"));
    Fixtures.Run run = Fixtures.run(options(input, parent.resolve("Orbit"), "--main-jar", "app.jar"));
    assertEquals(1, run.code());
    assertEquals(
        List.of(
            "vantorix-image: the Class-Path entry ../outside/dep.jar of app.jar leads out of the"
                + " input directory to " + dep + ", which the users' machines do not have: copy"
                + " it into the input directory " + input + ", laid out so that the entry leads"
                + " to it there"),
        run.errLines());
    assertEquals(List.of(), Fixtures.listing(parent));
  }

  @Test
  void aClassPathWildcardIsTheDirectorysJarsInNameOrder() throws Exception {
    Path input = work.resolve("input");
    for (String name : List.of("lib/zeta.jar", "lib/Alpha.JAR", "lib/beta.jar", "lib/sub/deep.jar")) {
      jar(input.resolve(name), null, null);
    }
    Fixtures.write(input.resolve("lib/readme.txt"), "not a jar");
    jar(input.resolve("main.jar"), null, null);
    Path output = work.resolve("Orbit");
    Fixtures.Run run =
        Fixtures.run(
            options(input, output, "--main-class", "Main", "--class-path", "main.jar",
                "--class-path", "lib/*"));
    assertEquals(0, run.code(), run.err());
    String config = Files.readString(output.resolve("app/Orbit.cfg"));
    assertTrue(
        config.contains(
            "app.classpath=$APPDIR\\main.jar\n"
                + "app.classpath=$APPDIR\\lib\\Alpha.JAR\n"
                + "app.classpath=$APPDIR\\lib\\beta.jar\n"
                + "app.classpath=$APPDIR\\lib\\zeta.jar\n"
                + "app.mainclass=Main\n"),
        config);

    Fixtures.Run none =
        Fixtures.run(
            options(input, work.resolve("none/Orbit"), "--main-class", "Main", "--class-path",
                "lib/sub/../../main.jar", "--class-path", "classes/*"));
    assertEquals(
        List.of(
            "vantorix-image: the class-path entry classes/* names the jars of classes/, which is"
                + " no directory in the input directory " + input),
        none.errLines());
  }

  @Test
  void everyBadLinkIsInOneRefusal() throws Exception {
    Path input = Fixtures.input(work.resolve("input"));
    Path secret = Fixtures.write(work.resolve("secret/id_key"), "private");
    Files.createDirectories(input.resolve("lib"));
    Files.createSymbolicLink(input.resolve("docs"), secret.getParent());
    Files.createSymbolicLink(input.resolve("lib/gone.jar"), input.resolve("lib/nothing.jar"));
    Files.createSymbolicLink(input.resolve("lib/self"), Path.of("."));
    Path parent = Files.createDirectories(work.resolve("out"));
    Fixtures.Run run = Fixtures.run(options(input, parent.resolve("Orbit"), "--main-jar", "main.jar"));
    assertEquals(1, run.code());
    assertEquals(
        List.of(
            "vantorix-image: 3 symbolic links in the input directory " + input + " lead out of it"
                + " or nowhere; the image takes only what lies inside it (replace them with what"
                + " they should name, or remove them):",
            "  " + input.resolve("docs") + ": leads out of the input directory, to "
                + secret.getParent(),
            "  " + input.resolve("lib/gone.jar") + ": leads nowhere",
            "  " + input.resolve("lib/self") + ": leads into a loop, to " + input.resolve("lib")
                + ", which holds it"),
        run.errLines());
    assertEquals(List.of(), Fixtures.listing(parent));

    // Past twenty the rest are counted.
    for (int n = 0; n < 22; n++) {
      Files.createSymbolicLink(input.resolve("lib/nowhere-" + n), input.resolve("nothing"));
    }
    Fixtures.Run many = Fixtures.run(options(input, parent.resolve("Orbit"), "--main-jar", "main.jar"));
    assertTrue(many.errLines().get(0).startsWith("vantorix-image: 25 symbolic links"), many.err());
    assertEquals(22, many.errLines().size(), many.err());
    assertEquals("  and 5 more", many.errLines().get(21));
  }
}
