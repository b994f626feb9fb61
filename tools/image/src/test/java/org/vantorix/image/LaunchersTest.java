package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Several launchers in one image (--launcher, --console-launcher) and the desktop description
 * the installers get (--file-association, --url-scheme): what is written, and what is refused.
 */
class LaunchersTest {
  @TempDir static Path work;
  static Path kit;
  static Path runtime;
  static Path input;

  @BeforeAll
  static void inputs() throws Exception {
    kit = Fixtures.windowsKit(work.resolve("kit"));
    // The two variants differ, so that the image shows which one each launcher is.
    Files.writeString(kit.resolve("VantorixLauncherConsole.exe"), "console",
        StandardOpenOption.APPEND);
    runtime = Fixtures.windowsRuntime(work.resolve("runtime"));
    input = Fixtures.input(work.resolve("input"));
    Fixtures.jar(input.resolve("tool.jar"), "Main", Map.of("Main.class", Fixtures.mainClass()));
    Fixtures.jar(input.resolve("lib/plain.jar"), null, Map.of("Main.class", Fixtures.mainClass()));
  }

  static List<String> options(Path output, String... more) {
    List<String> options = new ArrayList<>(List.of(
        "--name", "Orbit", "--input", input.toString(), "--main-jar", "main.jar",
        "--launchers", kit.toString(), "--runtime", runtime.toString(),
        "--java-option", "-Xmx64m", "--argument", "a", "--output", output.toString(),
        "--brand-tool",
        Fixtures.script(work.resolve("brand"),
            "shift; printf '%s\\n' \"$@\" >> \"$0.log\"\n").toString()));
    options.addAll(List.of(more));
    return options;
  }

  private static String config(Path output, String name) throws Exception {
    return Files.readString(output.resolve("app/" + name + ".cfg"), StandardCharsets.UTF_8);
  }

  @Test
  void eachLauncherHasItsVariantAndItsConfigFile() throws Exception {
    Path output = work.resolve("several");
    Fixtures.Run run = Fixtures.run(options(output,
        "--launcher", "Orbit Viewer=Main", "--console-launcher", "orbit-cli=jar:tool.jar",
        "--user-option", "-Xmx"));
    assertEquals(0, run.code(), run.err());
    assertEquals("", run.err());
    List<String> listing = Fixtures.listing(output);
    for (String name : List.of("Orbit.exe", "Orbit Viewer.exe", "orbit-cli.exe", "app/Orbit.cfg",
        "app/Orbit Viewer.cfg", "app/orbit-cli.cfg")) {
      assertTrue(listing.contains(name), name + " is not in " + listing);
    }
    byte[] gui = Files.readAllBytes(kit.resolve("VantorixLauncher.exe"));
    byte[] console = Files.readAllBytes(kit.resolve("VantorixLauncherConsole.exe"));
    assertArrayEquals(gui, Files.readAllBytes(output.resolve("Orbit Viewer.exe")));
    assertArrayEquals(console, Files.readAllBytes(output.resolve("orbit-cli.exe")));
    String shared = "app.runtime=$ROOTDIR\\runtime\n"
        + "app.fast-start=true\n"
        + "app.user-options=-Xmx\n"
        + "[JavaOptions]\n"
        + "java-options=-Xmx64m\n"
        + "[ArgOptions]\n"
        + "arguments=a\n";
    assertEquals("; Orbit Viewer: launcher config file (UTF-8), written by vantorix-image\n"
        + "[Application]\n"
        + "app.classpath=$APPDIR\\main.jar\n"
        + "app.mainclass=Main\n" + shared, config(output, "Orbit Viewer"));
    assertEquals("; orbit-cli: launcher config file (UTF-8), written by vantorix-image\n"
        + "[Application]\n"
        + "app.mainjar=$APPDIR\\tool.jar\n" + shared, config(output, "orbit-cli"));
    assertTrue(config(output, "Orbit").contains("app.mainjar=$APPDIR\\main.jar\n"));
    // Each executable is branded with its own file name.
    List<String> branded = Files.readAllLines(work.resolve("brand.log"));
    assertEquals(List.of("Orbit.exe", "Orbit Viewer.exe", "orbit-cli.exe"),
        branded.stream().filter(l -> l.endsWith(".exe")).toList());
  }

  @Test
  void aClassPathEntryPointAndAModuleLauncher() throws Exception {
    Path output = work.resolve("classes");
    List<String> options = options(output, "--launcher", "Second=Main",
        "--class-path", "lib/plain.jar", "--main-class", "Main");
    options.subList(options.indexOf("--main-jar"), options.indexOf("--main-jar") + 2).clear();
    Fixtures.Run run = Fixtures.run(options);
    assertEquals(0, run.code(), run.err());
    assertTrue(config(output, "Second").startsWith(
        "; Second: launcher config file (UTF-8), written by vantorix-image\n"
            + "[Application]\napp.classpath=$APPDIR\\lib\\plain.jar\napp.mainclass=Main\n"
            + "app.runtime="), config(output, "Second"));
  }

  @Test
  void aLauncherWithOptionsOfItsOwn() throws Exception {
    Path output = work.resolve("own");
    Fixtures.Run run = Fixtures.run(options(output, "--launcher", "Tool=Main",
        "--launcher", "Other=Main", "--launcher-java-option", "Tool=-Xmx2g",
        "--launcher-java-option", "Tool=-Dx=a=b", "--launcher-argument", "Tool=--batch"));
    assertEquals(0, run.code(), run.err());
    String tool = config(output, "Tool");
    assertTrue(tool.endsWith("[JavaOptions]\njava-options=-Xmx2g\njava-options=-Dx=a=b\n"
        + "[ArgOptions]\narguments=--batch\n"), tool);
    assertTrue(config(output, "Other").endsWith(
        "[JavaOptions]\njava-options=-Xmx64m\n[ArgOptions]\narguments=a\n"));
    assertTrue(config(output, "Orbit").endsWith(
        "[JavaOptions]\njava-options=-Xmx64m\n[ArgOptions]\narguments=a\n"));
  }

  @Test
  void aGeneratedMimeTypeIsSaid() {
    Path output = work.resolve("types");
    Fixtures.Run run = Fixtures.run(options(output, "--file-association", ".ORB",
        "--file-association", ".orbx=application/x-orbit-archive", "--url-scheme", "orbit"));
    assertEquals(0, run.code(), run.err());
    assertEquals(List.of(
        "vantorix-image: note: the file type .orb is registered as application/x-orbit-orb (give"
            + " --file-association .orb=TYPE/SUBTYPE for another MIME type)",
        "vantorix-image: note: file types and URL schemes are registered by an installer: without"
            + " --installer they are not used"), run.errLines());
  }

  static Stream<Arguments> refusals() {
    return Stream.of(
        Arguments.of(List.of("--launcher", "Viewer"),
            "--launcher \"Viewer\" is not NAME=ENTRY (ENTRY: a main class, jar:FILE or"
                + " module:MODULE[/CLASS])"),
        Arguments.of(List.of("--console-launcher", "=Main"), "--console-launcher \"=Main\" is not"),
        Arguments.of(List.of("--launcher", "orbit=Main"),
            "the launcher \"orbit\" of --launcher would have the file name of the image's own"
                + " launcher"),
        Arguments.of(List.of("--launcher", "A=Main", "--console-launcher", "a=Main"),
            "the launcher \"a\" of --console-launcher would have the file name of another"
                + " launcher"),
        Arguments.of(List.of("--launcher", "a/b=Main"), "the name \"a/b\" cannot be a file name"),
        Arguments.of(List.of("--launcher", "V=org.Missing"),
            "the main class org.Missing of the launcher V is in none of the class-path entries"
                + " main.jar"),
        Arguments.of(List.of("--launcher", "V=not a class"),
            "the entry \"not a class\" of the launcher V is not a Java class name"),
        Arguments.of(List.of("--launcher", "V=jar:lib/plain.jar"),
            "the main jar lib/plain.jar has no Main-Class in its manifest"),
        Arguments.of(List.of("--launcher", "V=jar:none.jar"),
            "the main jar \"none.jar\" does not exist in the input directory"),
        Arguments.of(List.of("--launcher", "V=module:demo"),
            "--main-module needs at least one --module-path entry"),
        Arguments.of(List.of("--launcher-argument", "Orbit=x"),
            "--launcher-argument \"Orbit=x\" does not start with the name of a launcher that"
                + " --launcher or --console-launcher adds, and '=' (launchers: none)"),
        Arguments.of(List.of("--file-association", "orb"),
            "--file-association \"orb\" is not .EXT, .EXT=TYPE/SUBTYPE or either with @LAUNCHER"),
        Arguments.of(List.of("--file-association", ".a.b"), "--file-association \".a.b\" is not"),
        Arguments.of(List.of("--file-association", ".orb", "--file-association", ".ORB"),
            "--file-association .orb is given twice"),
        Arguments.of(List.of("--file-association", ".orb=text"),
            "the MIME type \"text\" of --file-association .orb is not TYPE/SUBTYPE"),
        Arguments.of(List.of("--file-association", ".orb@Nobody"),
            "--file-association .orb names the launcher \"Nobody\", which the image does not have"
                + " (launchers: Orbit)"),
        Arguments.of(List.of("--console-launcher", "cli=Main", "--file-association", ".orb@cli"),
            "--file-association .orb names the console launcher cli: files and links are opened"
                + " by a GUI launcher"),
        Arguments.of(List.of("--url-scheme", "HTTPS"),
            "--url-scheme https is the system's own"),
        Arguments.of(List.of("--url-scheme", "9orbit"), "--url-scheme \"9orbit\" is not a URL"),
        Arguments.of(List.of("--url-scheme", "orbit", "--url-scheme", "Orbit"),
            "--url-scheme orbit is given twice"));
  }

  @ParameterizedTest
  @MethodSource("refusals")
  void refusedBeforeAnythingIsWritten(List<String> more, String message) {
    Path output = work.resolve("refused");
    Fixtures.Run run = Fixtures.run(options(output, more.toArray(String[]::new)));
    assertEquals(1, run.code(), run.err());
    assertTrue(run.err().startsWith("vantorix-image: " + message), run.err());
    assertTrue(Files.notExists(output));
  }
}
