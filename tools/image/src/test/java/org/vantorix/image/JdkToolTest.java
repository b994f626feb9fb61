package org.vantorix.image;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The tools of another JDK (--jdk) run as programs: what they say reaches the message. */
class JdkToolTest {
  @TempDir Path work;

  @Test
  void aToolsOutputThatIsNotUtf8ReachesTheMessage() {
    Path jdk = work.resolve("jdk");
    Fixtures.script(jdk.resolve("bin/jlink"), "exit 0\n");
    Fixtures.script(jdk.resolve("bin/jmod"),
        "printf 'Error: \\377 is not a module file\\n' >&2\nexit 1\n");
    Path base = Fixtures.write(jdk.resolve("jmods/java.base.jmod"), "not a jmod");
    Fixtures.Run run =
        Fixtures.run("--name", "Orbit", "--input", Fixtures.input(work.resolve("input")).toString(),
            "--main-jar", "main.jar",
            "--launchers", Fixtures.windowsKit(work.resolve("kit")).toString(),
            "--jdk", jdk.toString(), "--output", work.resolve("Orbit").toString());
    assertEquals(
        List.of(1, "vantorix-image: " + base + " cannot be read: Error: \ufffd is not a module file"),
        List.of(run.code(), run.err().strip()));
  }
}
