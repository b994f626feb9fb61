package org.vantorix.image;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.time.Duration;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Programs;
import org.vantorix.image.base.Host;

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
  static final Duration TIMEOUT = Duration.ofMinutes(5);
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
      if (!Host.WINDOWS) {
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
    if (!Host.WINDOWS && Binaries.peMachine(tool).isPresent()) {
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
    Path found = Host.onPath("wine");
    if (found == null && machine == Target.Machine.X64) {
      found = Host.onPath("wine64");
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
    Programs.Result run = run(words, guard, "branding failed: " + tool.getFileName());
    if (run.code() != 0) {
      throw Refusal.of("branding failed: %s", run.lastLine());
    }
  }

  /** Runs the sign command on the executable; a non-zero exit is a refusal naming the file. */
  void sign(Path executable, String shownName, Guard guard) {
    if (signCommand == null) {
      return;
    }
    String quoted = Host.WINDOWS ? "\"" + executable + "\"" : Words.quote(executable.toString());
    String line =
        signCommand.contains("{}")
            ? signCommand.replace("{}", quoted)
            : signCommand + " " + quoted;
    List<String> words = Host.WINDOWS ? List.of("cmd", "/c", line) : List.of("sh", "-c", line);
    Programs.Result run = run(words, guard, "the sign command");
    if (run.code() != 0) {
      throw Refusal.of(
          "the sign command failed on %s with exit code %d%s",
          shownName, run.code(), run.silent() ? "" : ": " + run.lastLine());
    }
  }

  private static Programs.Result run(List<String> words, Guard guard, String what) {
    ProcessBuilder builder = new ProcessBuilder(words);
    Map<String, String> environment = builder.environment();
    environment.putIfAbsent("WINEDEBUG", "-all");
    // Wine decodes the command line and file names with the locale's character set; the names
    // and paths here are UTF-8.
    String locale = environment.getOrDefault("LANG", "");
    locale = environment.getOrDefault("LC_CTYPE", locale);
    locale = environment.getOrDefault("LC_ALL", locale).toUpperCase(Locale.ROOT);
    if (!Host.WINDOWS && !locale.replace("UTF8", "UTF-8").contains("UTF-8")) {
      environment.put("LC_ALL", "C.UTF-8");
    }
    return Programs.run(builder, guard, TIMEOUT, what);
  }
}
