package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;

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
 * The runtime of a linux-x64 image: a copied one that does not fit the launcher, and modules that
 * jlink must not link for it. The JDK that runs the tests stands for the one that links.
 */
class RuntimeRefusalTest {
  @TempDir static Path work;
  static Path kit;
  static Path input;
  static Path noLibrary;
  static Path wrongMachine;
  static Path windowsJmods;

  @BeforeAll
  static void inputs() throws Exception {
    kit = Fixtures.linuxKit(work.resolve("kit"));
    input = Fixtures.input(work.resolve("input"));
    noLibrary = Files.createDirectories(work.resolve("runtimes/no-library/bin"));
    noLibrary = noLibrary.getParent();
    wrongMachine = work.resolve("runtimes/wrong-machine");
    Fixtures.elf(wrongMachine.resolve("lib/libjli.so"), 1, 3);
    // A java.base of one class, in a jmod for Windows.
    Path base = work.resolve("java.base");
    Fixtures.write(base.resolve("module-info.java"), "module java.base { exports java.lang; }\n");
    Fixtures.write(base.resolve("java/lang/Object.java"), "package java.lang; public class Object {}\n");
    Fixtures.javac("--system", "none", "-d", base.resolve("classes").toString(),
        base.resolve("module-info.java").toString(), base.resolve("java/lang/Object.java").toString());
    windowsJmods = Files.createDirectories(work.resolve("windows-jmods"));
    Fixtures.tool("jmod", "create", "--target-platform", "windows-amd64", "--module-version", "17",
        "--class-path", base.resolve("classes").toString(),
        windowsJmods.resolve("java.base.jmod").toString());
  }

  static Stream<Arguments> cases() {
    String jmods = Path.of(System.getProperty("java.home"), "jmods").toString();
    return Stream.of(
        Arguments.of(List.of("--runtime", noLibrary.toString()),
            "the runtime " + noLibrary + " has no lib/libjli.so: it is not a Java runtime for"
                + " linux-x64"),
        Arguments.of(List.of("--runtime", wrongMachine.toString()),
            "the runtime's lib/libjli.so is x86 (32-bit), but the launcher VantorixLauncher is"
                + " x64 (64-bit): they must match"),
        Arguments.of(List.of("--jmods", windowsJmods.toString()),
            "the JDK modules in " + windowsJmods + " are for windows-amd64, but the launchers are"
                + " for linux-x64 (linux-amd64): give --jmods DIR with the jmods of a linux-amd64"
                + " JDK, or --runtime DIR"),
        Arguments.of(List.of("--jmods", noLibrary.toString()),
            "the jmods directory " + noLibrary + " has no java.base.jmod: give --jmods the jmods"
                + " directory of a JDK"),
        Arguments.of(List.of("--add-modules", "no.such.module"),
            "the module \"no.such.module\" of --add-modules is not among the JDK modules in "
                + (Files.isDirectory(Path.of(jmods)) ? jmods : System.getProperty("java.home"))),
        Arguments.of(List.of("--runtime", noLibrary.toString(), "--add-modules", "java.sql"),
            "--add-modules does not go with --runtime: the tool either copies a runtime or links"
                + " one"));
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("cases")
  void refuses(List<String> changes, String message) throws Exception {
    Path parent = Files.createTempDirectory(work, "case-");
    List<String> args =
        new ArrayList<>(
            List.of("--name", "Orbit", "--input", input.toString(), "--main-jar", "main.jar",
                "--launchers", kit.toString(), "--output", parent.resolve("Orbit").toString()));
    args.addAll(changes);
    Fixtures.Run run = Fixtures.run(args);
    assertEquals(List.of(1, "", "vantorix-image: " + message + "\n"),
        List.of(run.code(), run.out(), run.err()));
    assertEquals(List.of(), Fixtures.listing(parent));
  }
}
