package org.vantorix.image.installer;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.vantorix.image.Fixtures;

/**
 * A setup program is refused before anything is written when it cannot hold the image, and a
 * stopped build leaves nothing: no image, no hidden installer, no scratch files, no makensis.
 */
class SetupProgramSafetyTest {
  @TempDir Path work;

  private List<String> options(Path input, String name, Path out, Path makensis) {
    return new ArrayList<>(List.of(
        "--name", name, "--input", input.toString(), "--main-jar", "main.jar",
        "--launchers", Fixtures.windowsKit(work.resolve("kit")).toString(),
        "--runtime", Fixtures.windowsRuntime(work.resolve("runtime")).toString(),
        "--brand-tool", Fixtures.script(work.resolve("brand"), "exit 0\n").toString(),
        "--installer", "exe", "--version", "1.0", "--makensis", makensis.toString(),
        "--output", out.resolve(name).toString()));
  }

  static Stream<Arguments> unholdable() {
    return Stream.of(
        Arguments.of("what?.txt", "Orbit",
            "the image's app/what?.txt holds ?, which Windows file names cannot hold: a setup"
                + " program cannot install it"),
        Arguments.of("a$b.txt", "Orbit",
            "the image's app/a$b.txt holds '$', which makensis cannot read in a file's path"),
        Arguments.of(null, "Or`bit",
            "the name Or`bit holds a backtick, which the setup program's script cannot hold"));
  }

  @ParameterizedTest(name = "{2}")
  @MethodSource("unholdable")
  void refusedBeforeAnythingIsWritten(String file, String name, String message) throws Exception {
    Path input = Fixtures.input(work.resolve("input"));
    if (file != null) {
      Fixtures.write(input.resolve(file), "data");
    }
    Path ran = work.resolve("makensis-ran");
    Path makensis = Fixtures.script(work.resolve("makensis"), "touch " + ran + "\nexit 1\n");
    Path out = Files.createDirectories(work.resolve("out"));
    Fixtures.Run run = Fixtures.run(options(input, name, out, makensis));
    assertEquals(List.of(1, "", "vantorix-image: " + message + "\n"),
        List.of(run.code(), run.out(), run.err()));
    assertEquals(List.of(), Fixtures.listing(out));
    assertFalse(Files.exists(ran), "makensis ran");
  }

  @Test
  void terminatedWhileMakensisRunsLeavesNothing() throws Exception {
    Path input = Fixtures.input(work.resolve("input"));
    Path pid = work.resolve("makensis.pid");
    // It says it started, then stands for a long compression.
    Path makensis = Fixtures.script(work.resolve("makensis"), "echo $$ > " + pid + "\nexec sleep 60\n");
    Path out = Files.createDirectories(work.resolve("out"));
    Path temp = Files.createDirectories(work.resolve("tmp"));
    List<String> command = new ArrayList<>(List.of(
        Path.of(System.getProperty("java.home"), "bin", "java").toString(),
        "-Djava.io.tmpdir=" + temp, "-XX:-UsePerfData",
        "-cp", Fixtures.toolClassPath(), "org.vantorix.image.ImageTool"));
    command.addAll(options(input, "Orbit", out, makensis));
    Process tool =
        new ProcessBuilder(command).redirectErrorStream(true)
            .redirectOutput(work.resolve("tool.log").toFile()).start();
    try {
      for (int tries = 0; tries < 600 && !Files.exists(pid); tries++) {
        Thread.sleep(50);
      }
      assertTrue(Files.exists(pid), Files.readString(work.resolve("tool.log")));
      Thread.sleep(200);
      tool.destroy(); // SIGTERM
      assertTrue(tool.waitFor(60, TimeUnit.SECONDS), "the tool did not end");
    } finally {
      tool.destroyForcibly();
    }
    long makensisPid = Long.parseLong(Files.readString(pid).strip());
    for (int tries = 0; tries < 100 && ProcessHandle.of(makensisPid).isPresent(); tries++) {
      Thread.sleep(50);
    }
    boolean running = ProcessHandle.of(makensisPid).map(ProcessHandle::isAlive).orElse(false);
    ProcessHandle.of(makensisPid).ifPresent(ProcessHandle::destroyForcibly);
    assertFalse(running, "makensis still runs");
    assertEquals(List.of(), Fixtures.listing(out), Files.readString(work.resolve("tool.log")));
    assertEquals(List.of(), Fixtures.listing(temp));
  }
}
