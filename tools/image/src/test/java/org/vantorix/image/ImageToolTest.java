package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The tool as a whole, in process: an image of stand-in launchers and runtime, and --force. */
class ImageToolTest {
  @TempDir Path work;

  private List<String> options(Path output) {
    return List.of(
        "--name", "Orbit", "--input", Fixtures.input(work.resolve("input")).toString(),
        "--main-jar", "main.jar", "--launchers", Fixtures.windowsKit(work.resolve("kit")).toString(),
        "--runtime", Fixtures.windowsRuntime(work.resolve("runtime")).toString(),
        "--java-option", "-Dhome=$APPDIR", "--argument", "two words", "--output", output.toString(),
        // The tool's own directory may hold a real branding tool, which refuses the stand-ins.
        "--brand-tool",
        Fixtures.script(work.resolve("brand"), "printf '%s\\n' \"$@\" > \"$0.log\"\n").toString());
  }

  @Test
  void writesTheImageAndItsConfigFile() throws Exception {
    Path output = work.resolve("dist/Orbit");
    Fixtures.Run run = Fixtures.run(options(output));
    assertEquals(0, run.code(), run.err());
    assertEquals("", run.err());
    List<String> branded = Files.readAllLines(work.resolve("brand.log"));
    assertEquals(
        List.of("--product-name", "Orbit", "--original-filename", "Orbit.exe", "--description",
            "Orbit"),
        branded.subList(1, branded.size()));
    assertTrue(run.out().endsWith("vantorix-image: wrote " + output + "\n"), run.out());
    assertEquals(
        List.of(".vantorix-image", "Orbit.exe", "app", "app/Orbit.cfg", "app/main.jar", "runtime",
            "runtime/bin", "runtime/bin/jli.dll"),
        Fixtures.listing(output));
    assertEquals(
        "; Orbit: launcher config file (UTF-8), written by vantorix-image\n"
            + "[Application]\n"
            + "app.mainjar=$APPDIR\\main.jar\n"
            + "app.runtime=$ROOTDIR\\runtime\n"
            + "app.fast-start=true\n"
            + "[JavaOptions]\n"
            + "java-options=-Dhome=$APPDIR\n"
            + "[ArgOptions]\n"
            + "arguments=two words\n",
        Files.readString(output.resolve("app/Orbit.cfg"), StandardCharsets.UTF_8));
    assertEquals(List.of("Orbit"), Files.list(output.getParent()).map(p -> p.getFileName().toString()).toList());
  }

  @Test
  void theImageGetsTheModesThatTheToolDecides() throws Exception {
    Path input = Fixtures.input(work.resolve("input"));
    Path setuid = Fixtures.write(input.resolve("bin/helper"), "#!/bin/sh\n");
    // (Java's permissions have no setuid, setgid or sticky bit.)
    assertEquals(0, new ProcessBuilder("chmod", "6777", setuid.toString()).start().waitFor());
    assertEquals(0, new ProcessBuilder("chmod", "1777", setuid.getParent().toString()).start()
        .waitFor());
    Path shared = Fixtures.write(input.resolve("data.txt"), "text");
    Files.setPosixFilePermissions(shared, PosixFilePermissions.fromString("rw-rw-rw-"));
    Path output = work.resolve("Orbit");
    Fixtures.Run run = Fixtures.run(options(output));
    assertEquals(0, run.code(), run.err());
    String[][] modes = {
      {"app/bin/helper", "rwxr-xr-x"}, {"app/bin", "rwxr-xr-x"}, {"app/data.txt", "rw-r--r--"},
      {"app/main.jar", "rw-r--r--"}, {"app/Orbit.cfg", "rw-r--r--"}, {"app", "rwxr-xr-x"},
    };
    for (String[] mode : modes) {
      assertEquals(mode[1], PosixFilePermissions.toString(
          Files.getPosixFilePermissions(output.resolve(mode[0]))), mode[0]);
    }
    assertEquals(Files.getLastModifiedTime(input.resolve("main.jar")),
        Files.getLastModifiedTime(output.resolve("app/main.jar")));
  }

  @Test
  void forceReplacesOnlyAnImageTheToolWrote() throws Exception {
    Path output = work.resolve("Orbit");
    assertEquals(0, Fixtures.run(options(output)).code());
    Fixtures.Run again = Fixtures.run(options(output));
    assertEquals(1, again.code());
    assertTrue(again.err().contains("is not empty: give --force to replace it"), again.err());
    List<String> forced = new java.util.ArrayList<>(options(output));
    forced.add("--force");
    assertEquals(0, Fixtures.run(forced).code());

    Path foreign = work.resolve("foreign");
    Fixtures.write(foreign.resolve("keep.txt"), "mine");
    forced.set(forced.indexOf(output.toString()), foreign.toString());
    Fixtures.Run refused = Fixtures.run(forced);
    assertTrue(
        refused.err().startsWith(
            "vantorix-image: the output directory " + foreign
                + " is no image that vantorix-image wrote"),
        refused.err());
    assertEquals(List.of("keep.txt"), Fixtures.listing(foreign));
    assertEquals(List.of("Orbit", "brand", "brand.log", "foreign", "input", "kit", "runtime"),
        Fixtures.listing(work).stream().filter(p -> !p.contains("/")).toList());
  }

  @Test
  void singleInstanceWritesItsProperty() throws Exception {
    Path output = work.resolve("Orbit");
    List<String> single = new java.util.ArrayList<>(options(output));
    single.add("--single-instance");
    Fixtures.Run run = Fixtures.run(single);
    assertEquals(0, run.code(), run.err());
    assertTrue(
        Files.readString(output.resolve("app/Orbit.cfg"), StandardCharsets.UTF_8)
            .contains("app.fast-start=true\napp.single-instance=true\n[JavaOptions]\n"));
  }
}
