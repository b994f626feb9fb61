package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The refusals that need no real image: the tool's words and exit code, and nothing written
 * beside the output. Each case changes the options of one image that would be written.
 */
class RefusalTest {
  @TempDir static Path work;
  static Path kit;
  static Path runtime;
  static Path input;

  @BeforeAll
  static void inputs() throws Exception {
    kit = Fixtures.windowsKit(work.resolve("kit"));
    runtime = Fixtures.windowsRuntime(work.resolve("runtime"));
    input = Fixtures.input(work.resolve("input"));
    Fixtures.jar(input.resolve("plain.jar"), null, java.util.Map.of("Main.class", Fixtures.mainClass()));
    Files.createDirectories(input.resolve("classes"));
  }

  /**
   * The options of an image that is written, with a case's words added at the end; a word
   * "-OPTION" takes OPTION and its value out of the base.
   */
  static List<String> options(Path output, List<String> changes) {
    List<String> base =
        new ArrayList<>(
            List.of("--name", "Orbit", "--input", input.toString(), "--main-jar", "main.jar",
                "--launchers", kit.toString(), "--runtime", runtime.toString(),
                "--output", output.toString()));
    for (String word : changes) {
      if (word.startsWith("-") && !word.startsWith("--")) {
        int at = base.indexOf("-" + word);
        base.subList(at, at + 2).clear();
      } else {
        base.add(word);
      }
    }
    return base;
  }

  static Stream<Arguments> cases() {
    return Stream.of(
        // The command line.
        Arguments.of(List.of("--colour", "red"), "unknown option --colour (see --help)"),
        Arguments.of(List.of("stray"), "unexpected stray: every value follows its option"),
        Arguments.of(List.of("--force=yes"), "--force takes no value"),
        Arguments.of(List.of("--version"), "--version needs a value"),
        Arguments.of(List.of("--vendor", "A", "--vendor", "B"), "--vendor is given twice"),
        Arguments.of(List.of("-name"), "--name is required (see --help)"),
        Arguments.of(List.of("--target", "windows-arm"),
            "unknown target windows-arm: one of windows-x64, windows-x86, linux-x64"),
        Arguments.of(List.of("--main-class", "Main"),
            "give one of --main-jar, --main-class and --main-module (given: --main-jar,"
                + " --main-class)"),
        Arguments.of(List.of("-main-jar"),
            "give one of --main-jar, --main-class and --main-module (given: none)"),
        // The entry point and the input.
        Arguments.of(List.of("-main-jar", "--main-jar", "missing.jar"),
            "the main jar \"missing.jar\" does not exist in the input directory"),
        Arguments.of(List.of("-main-jar", "--main-jar", "plain.jar"),
            "the main jar plain.jar has no Main-Class in its manifest"),
        Arguments.of(List.of("-main-jar", "--main-jar", "../main.jar"),
            "the main jar ../main.jar is not inside the input directory"),
        Arguments.of(List.of("-main-jar", "--main-class", "org.Missing", "--class-path",
                "main.jar"),
            "the main class org.Missing is in none of the class-path entries main.jar"),
        Arguments.of(List.of("-main-jar", "--main-class", "Main"),
            "--main-class needs at least one --class-path entry"),
        Arguments.of(List.of("-main-jar", "--main-class", "Main", "--class-path",
                "main.jar;classes"),
            "the class-path entry \"main.jar;classes\" holds ';', the windows-x64 path-list"
                + " separator"),
        Arguments.of(List.of("--class-path", "main.jar"), "--class-path does not go with --main-jar"),
        Arguments.of(List.of("--splash", "none.png"),
            "the splash image \"none.png\" does not exist in the input directory"),
        // Names and values.
        Arguments.of(List.of("-name", "--name", "Orbit;2"),
            "the name \"Orbit;2\" holds ';', the windows-x64 path-list separator"),
        Arguments.of(List.of("-name", "--name", "what?"),
            "the name \"what?\" holds ?, which Windows file names cannot hold"),
        Arguments.of(List.of("-name", "--name", "Orbit."),
            "the name \"Orbit.\" ends with a dot, which Windows drops from file names"),
        Arguments.of(List.of("-name", "--name", "aux"), "the name \"aux\" is a Windows device name"),
        Arguments.of(List.of("--user-option", "Xmx"),
            "the user option prefix \"Xmx\" does not start with '-'"),
        Arguments.of(List.of("--argument", "one\ntwo"),
            "the arguments value \"one\\ntwo\" holds a line break, which the config file cannot"
                + " represent"),
        Arguments.of(List.of("--version", "1.2.3.70000"),
            "the version \"1.2.3.70000\" is not 1 to 4 numbers of 0 to 65535"),
        Arguments.of(List.of("--execution-level", "root"),
            "the execution level \"root\" is not one of asInvoker, highestAvailable,"
                + " requireAdministrator"),
        Arguments.of(List.of("--sign-command", " "), "the --sign-command value is empty"),
        // The runtime.
        Arguments.of(List.of("-runtime", "--runtime", "/nonexistent/runtime"),
            "the runtime directory /nonexistent/runtime does not exist"),
        Arguments.of(List.of("--add-modules", "java.sql"),
            "--add-modules does not go with --runtime: the tool either copies a runtime or links"
                + " one"),
        // The installer options.
        Arguments.of(List.of("--app-id", "orbit"),
            "--app-id goes with --installer exe or --installer deb"),
        Arguments.of(List.of("--desktop-shortcut"), "--desktop-shortcut goes with --installer exe"));
  }

  @ParameterizedTest(name = "{1}")
  @MethodSource("cases")
  void refusesInOneLineAndWritesNothing(List<String> changes, String message) throws Exception {
    Path parent = Files.createTempDirectory(work, "case-");
    Fixtures.Run run = Fixtures.run(options(parent.resolve("Orbit"), changes));
    assertEquals(1, run.code(), run.out() + run.err());
    assertEquals(1, run.errLines().size(), run.err());
    assertTrue(run.err().startsWith("vantorix-image: " + message), run.err());
    assertEquals(List.of(), Fixtures.listing(parent));
  }
}
