package org.vantorix.image.installer;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import org.vantorix.image.Refusal;

/** The outside programs that build installers: finding them and running them. */
final class Commands {

  static final boolean WINDOWS_HOST =
      System.getProperty("os.name", "").toLowerCase(Locale.ROOT).startsWith("windows");

  private Commands() {}

  /** The program on the PATH (with {@code .exe} on Windows), or null. */
  static Path onPath(String program) {
    String path = System.getenv("PATH");
    if (path == null) {
      return null;
    }
    String file = WINDOWS_HOST ? program + ".exe" : program;
    for (String directory : path.split(File.pathSeparator)) {
      if (directory.isEmpty()) {
        continue;
      }
      Path candidate = Path.of(directory, file);
      if (Files.isRegularFile(candidate) && Files.isExecutable(candidate)) {
        return candidate.toAbsolutePath();
      }
    }
    return null;
  }

  /**
   * Runs the command to its end. Its output goes to a file rather than a pipe, so that a helper
   * process it leaves behind cannot hold the tool up; a failure is a refusal that names {@code
   * what} and the command's last line of output.
   */
  static void run(List<String> command, Path directory, String what) {
    Path log = null;
    try {
      log = Files.createTempFile("vantorix-installer", ".log");
      Process process =
          new ProcessBuilder(command)
              .directory(directory.toFile())
              .redirectErrorStream(true)
              .redirectOutput(log.toFile())
              .redirectInput(ProcessBuilder.Redirect.from(nullDevice()))
              .start();
      int exitCode = waitFor(process);
      if (exitCode != 0) {
        throw new Refusal(what + " failed (exit code " + exitCode + ")" + lastLine(log));
      }
    } catch (IOException e) {
      throw new Refusal(what + " failed: " + command.get(0) + ": " + e.getMessage());
    } finally {
      if (log != null) {
        try {
          Files.deleteIfExists(log);
        } catch (IOException ignored) {
          // A log left in the temporary directory harms nothing.
        }
      }
    }
  }

  private static int waitFor(Process process) {
    boolean interrupted = false;
    try {
      while (true) {
        try {
          return process.waitFor();
        } catch (InterruptedException e) {
          interrupted = true;
          process.destroy();
        }
      }
    } finally {
      if (interrupted) {
        Thread.currentThread().interrupt();
      }
    }
  }

  private static String lastLine(Path log) throws IOException {
    List<String> lines = new ArrayList<>();
    for (String line : Files.readAllLines(log, StandardCharsets.ISO_8859_1)) {
      if (!line.isBlank()) {
        lines.add(line.strip());
      }
    }
    if (lines.isEmpty()) {
      return "";
    }
    // Bytes as they came: the text is only shown, and one bad byte must not hide the line.
    String last = new String(lines.get(lines.size() - 1).getBytes(StandardCharsets.ISO_8859_1),
        StandardCharsets.UTF_8);
    return ": " + last;
  }

  private static File nullDevice() {
    return new File(WINDOWS_HOST ? "NUL" : "/dev/null");
  }
}
