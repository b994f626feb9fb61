package org.vantorix.image.base;

import java.io.IOException;
import java.io.RandomAccessFile;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * The one way the tool runs another program: the branding tool, the sign command, a JDK's tools
 * when they run as programs, makensis and dpkg-deb.
 *
 * <p>Its output goes to files, never pipes: Wine's long-lived helpers inherit the standard
 * handles and would hold a pipe open after the program ended, and nothing is read before the
 * program ends or its time is up. The output is decoded leniently (a program may write in another
 * character set; it is only shown or searched), and only its last part is kept. On a timeout, an
 * interruption of the thread or the guard's abort, the program and its descendants are ended.
 */
public final class Programs {
  /** The most of each output that is kept: its end, where the reasons are. */
  private static final int KEPT = 1 << 20;

  /** What a run gave: the exit code, and the end of the standard output and error. */
  public record Result(int code, String out, String err) {
    /** The program's last line (of its error output, else of its output), or its exit code. */
    public String lastLine() {
      String text = (err.isBlank() ? out : err).strip();
      if (text.isEmpty()) {
        return "exit code " + code;
      }
      return Refusal.oneLine(text.lines().reduce((a, b) -> b).orElse(""));
    }

    /** Whether the program said anything at all. */
    public boolean silent() {
      return out.isBlank() && err.isBlank();
    }
  }

  /**
   * Runs the program that the builder names (its command, directory and environment as set) to
   * its end, with nothing on its standard input.
   *
   * @param what how messages name the program, such as "branding failed: vantorix-brand"
   * @throws Refusal when it cannot be started, when it does not end within the timeout, and when
   *     the tool is interrupted or stopped meanwhile
   */
  public static Result run(ProcessBuilder builder, Guard guard, Duration timeout, String what) {
    List<String> command = builder.command();
    Path out = null;
    Path err = null;
    try {
      out = Files.createTempFile("vantorix-image-", ".out");
      err = Files.createTempFile("vantorix-image-", ".err");
      builder
          .redirectInput(ProcessBuilder.Redirect.from(Host.nullDevice()))
          .redirectOutput(out.toFile())
          .redirectError(err.toFile());
      Process process = guard.start(builder);
      try {
        if (!process.waitFor(timeout.toMillis(), TimeUnit.MILLISECONDS)) {
          end(process);
          throw Refusal.of(
              "%s: %s did not end within %d seconds", what, command.get(0), timeout.toSeconds());
        }
      } catch (InterruptedException e) {
        end(process);
        Thread.currentThread().interrupt();
        throw new Refusal("interrupted: the output is as it was");
      } finally {
        guard.finished(process);
      }
      guard.check();
      return new Result(process.exitValue(), tail(out), tail(err));
    } catch (IOException e) {
      throw Refusal.of("%s: %s cannot be started: %s", what, command.get(0), Refusal.reason(e));
    } finally {
      Host.deleteQuietly(out);
      Host.deleteQuietly(err);
    }
  }

  /** Ends a program and whatever it started, and waits a little for it to be gone. */
  static void end(Process process) {
    process.descendants().forEach(ProcessHandle::destroyForcibly);
    process.destroyForcibly();
    try {
      process.waitFor(5, TimeUnit.SECONDS);
    } catch (InterruptedException e) {
      Thread.currentThread().interrupt();
    }
  }

  private static String tail(Path file) throws IOException {
    try (RandomAccessFile in = new RandomAccessFile(file.toFile(), "r")) {
      long length = in.length();
      long start = Math.max(0, length - KEPT);
      byte[] data = new byte[(int) (length - start)];
      in.seek(start);
      in.readFully(data);
      return new String(data, StandardCharsets.UTF_8);
    }
  }

  private Programs() {}
}
