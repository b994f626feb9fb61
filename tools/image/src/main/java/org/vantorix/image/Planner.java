package org.vantorix.image;

import static org.vantorix.image.ConfigText.checkValue;
import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.ADD_MODULES;
import static org.vantorix.image.OptionTable.ARGUMENT;
import static org.vantorix.image.OptionTable.CONSOLE;
import static org.vantorix.image.OptionTable.INPUT;
import static org.vantorix.image.OptionTable.JAVA_OPTION;
import static org.vantorix.image.OptionTable.JDK;
import static org.vantorix.image.OptionTable.JMODS;
import static org.vantorix.image.OptionTable.LAUNCHERS;
import static org.vantorix.image.OptionTable.NAME;
import static org.vantorix.image.OptionTable.NO_FAST_START;
import static org.vantorix.image.OptionTable.RUNTIME_COPY;
import static org.vantorix.image.OptionTable.SPLASH;
import static org.vantorix.image.OptionTable.TARGET;
import static org.vantorix.image.OptionTable.USER_OPTION;
import static org.vantorix.image.OptionTable.VERBOSE;

import java.io.PrintWriter;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import org.vantorix.image.base.Refusal;

/**
 * Everything that is checked before a file is written, and what the writer is then told to do:
 * the target and its launcher, the name, the entry point, what the launcher passes, the runtime,
 * branding and the output, each checked by the class of its job.
 */
final class Planner {
  private Planner() {}

  static Plan plan(Options options, Path toolDirectory, PrintWriter out) {
    Path launchers = options.path(LAUNCHERS);
    if (launchers == null) {
      launchers = Path.of(toolDirectory == null ? "." : toolDirectory.toString())
          .toAbsolutePath().normalize();
    }
    Path kit = launchers;
    Target target =
        Optional.ofNullable(options.value(TARGET))
            .flatMap(Target::named)
            .orElseGet(() -> Binaries.defaultTarget(kit));
    String name = options.value(NAME);
    Names.check(name, target);
    Path launcher = Binaries.findLauncher(launchers, target, options.flag(CONSOLE));
    String executable = target.executableName(name);
    String configName = Names.configName(executable);

    Path input = options.path(INPUT);
    if (!Files.isDirectory(input)) {
      throw Refusal.of("the input directory %s does not exist", input);
    }
    if (Files.exists(input.resolve(configName), LinkOption.NOFOLLOW_LINKS)) {
      throw Refusal.of(
          "the input directory already holds %s, the config file that the tool writes",
          configName);
    }
    InputPaths paths = new InputPaths(input, target);
    ConfigText config = ConfigText.create();
    EntryPoint entryPoint = new EntryPoint(options, paths, config);
    entryPoint.plan();
    addLaunchOptions(options, target, paths, config);

    Path runtimeDirectory = options.path(RUNTIME_COPY);
    if (runtimeDirectory != null) {
      for (Option linking : options.givenOf(List.of(JDK, JMODS, ADD_MODULES))) {
        throw Refusal.of(
            "%s does not go with --runtime: the tool either copies a runtime or links one",
            linking.spelled());
      }
      Binaries.checkRuntime(runtimeDirectory, target, launcher);
    }
    List<String> notes = new ArrayList<>();
    Branding branding =
        BrandingPlan.plan(options, target, launchers, toolDirectory, executable, notes);
    Path output = OutputCheck.check(options, target, input, name, runtimeDirectory, launchers);
    List<Trees.Copy> inputFiles = Trees.ofInput(input);
    Plan.RuntimeSource runtime =
        runtimeDirectory != null
            ? new Plan.Copied(runtimeDirectory, Trees.ofRuntime(runtimeDirectory))
            : LinkPlan.plan(options, target, entryPoint.classPathRoots, entryPoint.modulePath,
                config, out);
    return new Plan(
        target,
        launcher,
        executable,
        configName,
        config.data(name),
        input,
        inputFiles,
        output,
        runtime,
        branding,
        List.copyOf(notes),
        options.flag(VERBOSE));
  }

  /** The splash image, the runtime, the class-data cache and what the launcher passes. */
  private static void addLaunchOptions(
      Options options, Target target, InputPaths paths, ConfigText config) {
    if (options.value(SPLASH) != null) {
      config.add("Application", "app.splash", paths.inConfig(paths.splash(options.value(SPLASH))));
    }
    config.add("Application", "app.runtime", "$ROOTDIR" + target.separator() + "runtime");
    if (!options.flag(NO_FAST_START)) {
      config.add("Application", "app.fast-start", "true");
    }
    for (String prefix : options.list(USER_OPTION)) {
      checkValue("the --user-option value", prefix);
      if (!prefix.startsWith("-")) {
        throw Refusal.of(
            "the user option prefix %s does not start with '-': give a JVM option prefix such as"
                + " -Xmx",
            shown(prefix));
      }
      config.add("Application", "app.user-options", prefix);
    }
    options.list(JAVA_OPTION).forEach(o -> config.add("JavaOptions", "java-options", o));
    options.list(ARGUMENT).forEach(a -> config.add("ArgOptions", "arguments", a));
  }
}
