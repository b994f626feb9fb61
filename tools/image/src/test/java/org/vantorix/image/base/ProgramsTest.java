package org.vantorix.image.base;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class ProgramsTest {
  @TempDir Path work;

  private static Programs.Result sh(String script, Guard guard, Duration timeout) {
    return Programs.run(new ProcessBuilder("sh", "-c", script), guard, timeout, "the test");
  }

  /** Whether the process of the pid in the file ends within a few seconds. */
  private static boolean ends(Path pidFile) throws Exception {
    long pid = Long.parseLong(Files.readString(pidFile).strip());
    for (int tries = 0; tries < 100; tries++) {
      if (ProcessHandle.of(pid).map(ProcessHandle::isAlive).orElse(false)) {
        Thread.sleep(50);
      } else {
        return true;
      }
    }
    return false;
  }

  private void waitFor(Path file) throws Exception {
    for (int tries = 0; tries < 200 && !Files.exists(file); tries++) {
      Thread.sleep(25);
    }
    assertTrue(Files.exists(file), file + " was never written");
  }

  @Test
  void outputDecodedLenientlyAndTheLastLineKept() {
    Programs.Result result =
        sh("printf 'first\\nsecond \\377\\n'; printf 'why\\nlast reason\\n' >&2; exit 3",
            new Guard(), Duration.ofMinutes(1));
    assertEquals(3, result.code());
    assertEquals("first\nsecond \ufffd\n", result.out());
    assertEquals("last reason", result.lastLine());
    assertEquals("second \ufffd", sh("printf 'first\\nsecond \\377\\n'", new Guard(),
        Duration.ofMinutes(1)).lastLine());
    assertEquals("exit code 4", sh("exit 4", new Guard(), Duration.ofMinutes(1)).lastLine());
  }

  @Test
  void aChildThatKeepsTheOutputOpenDoesNotHoldTheRunUp() {
    // Wine's helpers do that: the program ends, the helper lives on with its handles.
    Programs.Result result =
        assertTimeoutPreemptively(Duration.ofSeconds(30),
            () -> sh("sleep 60 & echo started", new Guard(), Duration.ofMinutes(1)));
    assertEquals(List.of(0, "started\n"), List.of(result.code(), result.out()));
  }

  @Test
  void aTimeoutEndsTheProgramAndWhatItStarted() throws Exception {
    Path pid = work.resolve("pid");
    Refusal refusal =
        assertThrows(Refusal.class,
            () -> sh("sleep 60 & echo $! > " + pid + "; wait", new Guard(), Duration.ofSeconds(1)));
    assertEquals("the test: sh did not end within 1 seconds", refusal.getMessage());
    assertTrue(ends(pid), "the program's child still runs");
  }

  @Test
  void anInterruptionOrAnAbortEndsTheProgram() throws Exception {
    for (String how : List.of("interrupt", "abort")) {
      Path pid = work.resolve(how + ".pid");
      Guard guard = new Guard();
      AtomicReference<Throwable> thrown = new AtomicReference<>();
      Thread runner =
          new Thread(() -> {
            try {
              sh("sleep 60 & echo $! > " + pid + "; wait", guard, Duration.ofMinutes(5));
            } catch (Throwable e) {
              thrown.set(e);
            }
          });
      runner.start();
      waitFor(pid);
      if (how.equals("interrupt")) {
        runner.interrupt();
      } else {
        guard.abort();
      }
      runner.join(30_000);
      assertFalse(runner.isAlive(), how);
      assertEquals("interrupted: the output is as it was", thrown.get().getMessage(), how);
      assertTrue(ends(pid), how + ": the program's child still runs");
    }
  }

  @Test
  void aProgramThatCannotStart() {
    Refusal refusal =
        assertThrows(Refusal.class,
            () -> Programs.run(new ProcessBuilder(work.resolve("none").toString()), new Guard(),
                Duration.ofMinutes(1), "the test"));
    assertTrue(refusal.getMessage().startsWith("the test: " + work.resolve("none")
        + " cannot be started: "), refusal.getMessage());
  }
}
