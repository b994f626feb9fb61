package org.vantorix.image.installer;

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
import org.vantorix.image.Fixtures;

/** What the installer options refuse: exit code 1, one line, and neither image nor installer. */
class InstallerRefusalTest {
  @TempDir static Path work;
  static List<String> exe;
  static List<String> deb;

  @BeforeAll
  static void kits() {
    Path input = Fixtures.input(work.resolve("input"));
    List<String> common =
        List.of("--version", "1.0", "--name", "Orbit", "--input", input.toString(), "--main-jar",
            "main.jar", "--vendor", "Orbit Works");
    exe = new ArrayList<>(common);
    exe.addAll(List.of("--installer", "exe", "--target", "windows-x64",
        "--launchers", Fixtures.windowsKit(work.resolve("windows-kit")).toString(),
        "--runtime", Fixtures.windowsRuntime(work.resolve("windows-runtime")).toString()));
    Path linuxRuntime = work.resolve("linux-runtime");
    Fixtures.elf(linuxRuntime.resolve("lib/libjli.so"), 2, 62);
    deb = new ArrayList<>(common);
    deb.addAll(List.of("--installer", "deb", "--target", "linux-x64", "--vendor-email",
        "dev@orbit.example", "--launchers", Fixtures.linuxKit(work.resolve("linux-kit")).toString(),
        "--runtime", linuxRuntime.toString()));
  }

  /** The kit's options without those left out, then those added. */
  static List<String> options(List<String> kit, List<String> leftOut, List<String> added) {
    List<String> options = new ArrayList<>();
    for (int at = 0; at < kit.size(); at += 2) {
      if (!leftOut.contains(kit.get(at))) {
        options.addAll(kit.subList(at, at + 2));
      }
    }
    options.addAll(added);
    return options;
  }

  static Stream<Arguments> cases() {
    return Stream.of(
        Arguments.of("exe", List.of(), List.of("--makensis", "/nonexistent/makensis"),
            "--makensis /nonexistent/makensis is not an executable file"),
        Arguments.of("exe", List.of("--version"), List.of(), "--installer needs --version"),
        Arguments.of("deb", List.of("--version"), List.of("--version", "1.2-beta"),
            "the installer needs a numeric version"),
        Arguments.of("deb", List.of("--version"), List.of("--version", "1.70000"),
            "the installer needs a numeric version"),
        Arguments.of("exe", List.of(), List.of("--app-id", "Orbit\\Works"),
            "the app id Orbit\\Works cannot name the uninstall registry key"),
        Arguments.of("exe", List.of(), List.of("--app-id", "Orbit Works"),
            "the app id Orbit Works cannot name the uninstall registry key"),
        Arguments.of("deb", List.of(), List.of("--app-id", "Orbit"),
            "the app id Orbit cannot be a Debian package name"),
        Arguments.of("deb", List.of(), List.of("--app-id", "orbit_works"),
            "the app id orbit_works cannot be a Debian package name"),
        Arguments.of("deb", List.of("--vendor-email"), List.of(),
            "--installer deb needs --vendor and --vendor-email"),
        Arguments.of("exe", List.of("--installer"), List.of("--installer", "deb"),
            "--installer deb makes a Debian package, but the target is windows-x64"),
        Arguments.of("deb", List.of("--installer"), List.of("--app-id", "orbit"),
            "--app-id goes with --installer exe or --installer deb"));
  }

  @ParameterizedTest(name = "{0} {3}")
  @MethodSource("cases")
  void refuses(String kind, List<String> leftOut, List<String> added, String message)
      throws Exception {
    Path out = Files.createTempDirectory(work, "case-");
    List<String> args = options(kind.equals("exe") ? exe : deb, leftOut, added);
    args.addAll(List.of("--output", out.resolve("Orbit").toString()));
    Fixtures.Run run = Fixtures.run(args);
    assertEquals(1, run.code(), run.out() + run.err());
    assertEquals(1, run.errLines().size(), run.err());
    assertTrue(run.err().startsWith("vantorix-image: " + message), run.err());
    assertEquals(List.of(), Fixtures.listing(out));
  }
}
