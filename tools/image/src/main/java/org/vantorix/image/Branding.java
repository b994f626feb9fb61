package org.vantorix.image;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * Branding a Windows executable with vantorix-brand (natively, or vantorix-brand.exe directly on
 * Windows and under Wine elsewhere), and the packager's sign command after it.
 *
 * @param command the words that start the branding tool, the tool last; empty when the image
 *     stays unbranded
 * @param options what the tool is told after the executable's path
 * @param note why the image stays unbranded, or null
 * @param signCommand the packager's sign command, or null
 */
record Branding(List<String> command, List<String> options, String note, String signCommand) {
  static final long TIMEOUT_SECONDS = 300;
  static final boolean ON_WINDOWS =
      System.getProperty("os.name", "").toLowerCase(Locale.ROOT).startsWith("windows");
  // Debian's loaders, which its wine command chooses from: each with the directory that shows its
  // architecture's Wine is installed.
  private static final Map<Target.Machine, List<String>> DEBIAN_LOADERS =
      Map.of(
          Target.Machine.X64, List.of("/usr/lib/wine/wine64", "/usr/lib/x86_64-linux-gnu/wine"),
          Target.Machine.X86, List.of("/usr/lib/wine/wine", "/usr/lib/i386-linux-gnu/wine"));

  /**
   * The branding tool: --brand-tool, else on Windows vantorix-brand.exe beside the launchers, else
   * a native vantorix-brand beside the launchers or the tool, else vantorix-brand.exe beside the
   * launchers under Wine.
   */
  static Branding plan(
      String brandTool,
      Path launchers,
      Path toolDirectory,
      String wine,
      Target target,
      String executable,
      List<String> options,
      String signCommand) {
    Path tool;
    if (brandTool != null) {
      tool = Path.of(brandTool).toAbsolutePath().normalize();
      if (!Files.isRegularFile(tool)) {
        throw Refusal.of("the branding tool %s does not exist", tool);
      }
    } else {
      List<Path> candidates = new ArrayList<>();
      if (!ON_WINDOWS) {
        candidates.add(launchers.resolve("vantorix-brand"));
        if (toolDirectory != null) {
          candidates.add(toolDirectory.resolve("vantorix-brand"));
        }
      }
      candidates.add(launchers.resolve("vantorix-brand.exe"));
      tool = candidates.stream().filter(Files::isRegularFile).findFirst().orElse(null);
      if (tool == null) {
        return new Branding(
            List.of(),
            options,
            "no vantorix-brand.exe beside the launchers: the image is not branded",
            signCommand);
      }
    }
    List<String> command = new ArrayList<>();
    if (!ON_WINDOWS && Binaries.peMachine(tool).isPresent()) {
      List<String> wineCommand = wineCommand(wine, target.machine);
      if (wineCommand == null) {
        return new Branding(
            List.of(),
            options,
            String.format(
                "Wine is not installed%s: the image is not branded (run vantorix-brand.exe on %s"
                    + " under Windows)",
                target.machine == Target.Machine.X86 ? " for 32-bit programs" : "", executable),
            signCommand);
      }
      command.addAll(wineCommand);
    }
    command.add(tool.toString());
    return new Branding(List.copyOf(command), options, null, signCommand);
  }

  /** The command that runs a Windows program of the machine here, or null when there is none. */
  static List<String> wineCommand(String option, Target.Machine machine) {
    if (option != null) {
      return Words.split(option);
    }
    Path found = Words.onPath("wine");
    if (found == null && machine == Target.Machine.X64) {
      found = Words.onPath("wine64");
    }
    if (found != null) {
      return List.of(found.toString());
    }
    List<String> loader = DEBIAN_LOADERS.get(machine);
    if (loader != null
        && Files.isExecutable(Path.of(loader.get(0)))
        && Files.isDirectory(Path.of(loader.get(1)))) {
      return List.of(loader.get(0));
    }
    return null;
  }

  /** Brands the executable in place; a failure of the tool is a refusal. */
  void brand(Path executable, Guard guard) {
    if (command.isEmpty()) {
      return;
    }
    List<String> words = new ArrayList<>(command);
    words.add(executable.toString());
    words.addAll(options);
    Path tool = Path.of(command.get(command.size() - 1));
    Run run = Run.of(words, guard, "branding failed: " + tool.getFileName());
    if (run.code() != 0) {
      throw Refusal.of("branding failed: %s", run.lastLine());
    }
  }

  /** Runs the sign command on the executable; a non-zero exit is a refusal naming the file. */
  void sign(Path executable, String shownName, Guard guard) {
    if (signCommand == null) {
      return;
    }
    String quoted = ON_WINDOWS ? "\"" + executable + "\"" : Words.quote(executable.toString());
    String line =
        signCommand.contains("{}")
            ? signCommand.replace("{}", quoted)
            : signCommand + " " + quoted;
    List<String> words = ON_WINDOWS ? List.of("cmd", "/c", line) : List.of("sh", "-c", line);
    Run run = Run.of(words, guard, "the sign command");
    if (run.code() != 0) {
      throw Refusal.of(
          "the sign command failed on %s with exit code %d%s",
          shownName, run.code(), run.output().isBlank() ? "" : ": " + run.lastLine());
    }
  }

  /** One run of an outside program, its output read from a file. */
  record Run(int code, String output) {
    String lastLine() {
      String text = output.strip();
      return text.isEmpty()
          ? "exit code " + code
          : Jars.oneLine(text.lines().reduce((a, b) -> b).orElse(""));
    }

    static Run of(List<String> words, Guard guard, String what) {
      File log = null;
      try {
        log = File.createTempFile("vantorix-image-", ".txt");
        ProcessBuilder builder =
            new ProcessBuilder(words)
                .redirectInput(ProcessBuilder.Redirect.from(Jdk.devNull()))
                // Files, not pipes: Wine's long-lived helper processes inherit the standard
                // handles and would keep a pipe open after the program ended.
                .redirectOutput(log)
                .redirectError(log);
        Map<String, String> environment = builder.environment();
        environment.putIfAbsent("WINEDEBUG", "-all");
        // Wine decodes the command line and file names with the locale's character set; the
        // names and paths here are UTF-8.
        String locale = environment.getOrDefault("LANG", "");
        locale = environment.getOrDefault("LC_CTYPE", locale);
        locale = environment.getOrDefault("LC_ALL", locale).toUpperCase(Locale.ROOT);
        if (!ON_WINDOWS && !locale.replace("UTF8", "UTF-8").contains("UTF-8")) {
          environment.put("LC_ALL", "C.UTF-8");
        }
        Process process = guard.start(builder);
        try {
          if (!process.waitFor(TIMEOUT_SECONDS, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            throw Refusal.of(
                "%s: %s did not end within %d seconds", what, words.get(0), TIMEOUT_SECONDS);
          }
        } finally {
          guard.finished(process);
        }
        guard.check();
        // Decoded leniently: a tool may write in another character set, and its output is only
        // shown (readString would refuse the bytes and turn a run into "cannot be started").
        return new Run(
            process.exitValue(),
            new String(Files.readAllBytes(log.toPath()), StandardCharsets.UTF_8));
      } catch (IOException e) {
        throw Refusal.of("%s: %s cannot be started: %s", what, words.get(0), Trees.reason(e));
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
        throw new Refusal("interrupted");
      } finally {
        if (log != null) {
          log.delete();
        }
      }
    }
  }
}
