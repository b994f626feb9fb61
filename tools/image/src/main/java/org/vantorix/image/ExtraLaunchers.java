package org.vantorix.image;

import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.CONSOLE_LAUNCHER;
import static org.vantorix.image.OptionTable.LAUNCHER;
import static org.vantorix.image.OptionTable.LAUNCHER_ARGUMENT;
import static org.vantorix.image.OptionTable.LAUNCHER_JAVA_OPTION;
import static org.vantorix.image.OptionTable.MODULE_PATH;

import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.stream.Collectors;
import org.vantorix.image.base.Refusal;

/**
 * The launchers beside the primary one (--launcher, --console-launcher). Each is checked before
 * the runtime is linked, so that jdeps sees the jars it runs; its config file is the primary's
 * with only the entry point changed, made once the primary's is complete.
 */
final class ExtraLaunchers {
  /** The properties that say what a launcher runs; the rest of the config file is shared. */
  static final Set<String> ENTRY_PROPERTIES =
      Set.of("app.classpath", "app.mainjar", "app.mainclass", "app.mainmodule");
  private static final String SECTION = "Application";
  private static final String SPELLING =
      "NAME=ENTRY (ENTRY: a main class, jar:FILE or module:MODULE[/CLASS])";

  private record Checked(
      String name, boolean console, Path binary, String executable, String configName,
      ConfigText entry) {}

  private final List<Checked> checked = new ArrayList<>();
  private final Map<Option.Repeated, Map<String, List<String>>> own = new HashMap<>();
  private List<String> sharedJavaOptions = List.of();

  private ExtraLaunchers() {}

  /**
   * Checks every launcher the options add: its name (a file name of its own in the image), its
   * executable and its entry point.
   */
  static ExtraLaunchers check(
      Options options, EntryPoint entryPoint, InputPaths paths, Path launchers, Target target,
      String primaryName) {
    ExtraLaunchers extra = new ExtraLaunchers();
    Map<String, String> taken = new HashMap<>();
    for (String reserved : List.of("app", "runtime", OutputCheck.MARK)) {
      taken.put(fileKey(target, reserved), reserved + ", which the image holds");
    }
    taken.put(fileKey(target, target.executableName(primaryName)), "the image's own launcher");
    for (boolean console : new boolean[] {false, true}) {
      Option option = console ? CONSOLE_LAUNCHER : LAUNCHER;
      for (String spec : options.list(console ? CONSOLE_LAUNCHER : LAUNCHER)) {
        ConfigText.checkValue("the " + option.spelled() + " value", spec);
        int equals = spec.indexOf('=');
        if (equals <= 0 || equals == spec.length() - 1) {
          throw Refusal.of("%s %s is not %s", option.spelled(), shown(spec), SPELLING);
        }
        String name = spec.substring(0, equals);
        Names.check(name, target);
        String executable = target.executableName(name);
        String clash = taken.putIfAbsent(fileKey(target, executable), "another launcher");
        if (clash != null) {
          throw Refusal.of(
              "the launcher %s of %s would have the file name of %s",
              shown(name), option.spelled(), clash);
        }
        String configName = Names.configName(executable);
        if (Files.exists(paths.input.resolve(configName), LinkOption.NOFOLLOW_LINKS)) {
          throw Refusal.of(
              "the input directory already holds %s, the config file of the launcher %s",
              configName, name);
        }
        Path binary = Binaries.findLauncher(launchers, target, console);
        ConfigText entry = entry(options, entryPoint, paths, name, spec.substring(equals + 1));
        extra.checked.add(new Checked(name, console, binary, executable, configName, entry));
      }
    }
    extra.readOwnOptions(options);
    return extra;
  }

  /** The launchers with their config files, each the shared text with its own entry point. */
  List<Plan.Extra> plans(ConfigText shared) {
    List<Plan.Extra> plans = new ArrayList<>();
    for (Checked c : checked) {
      ConfigText config = shared.replacing(SECTION, ENTRY_PROPERTIES, c.entry());
      List<String> javaOptions = own.getOrDefault(LAUNCHER_JAVA_OPTION, Map.of()).get(c.name());
      if (javaOptions != null) {
        // What the tool itself adds (the modules a main module's runtime resolves) stays.
        List<String> added = new ArrayList<>(shared.values("JavaOptions", "java-options"));
        sharedJavaOptions.forEach(added::remove);
        ConfigText lines = ConfigText.create();
        javaOptions.forEach(o -> lines.add("JavaOptions", "java-options", o));
        added.forEach(o -> lines.add("JavaOptions", "java-options", o));
        config = config.replacing("JavaOptions", Set.of("java-options"), lines);
      }
      List<String> arguments = own.getOrDefault(LAUNCHER_ARGUMENT, Map.of()).get(c.name());
      if (arguments != null) {
        ConfigText lines = ConfigText.create();
        arguments.forEach(a -> lines.add("ArgOptions", "arguments", a));
        config = config.replacing("ArgOptions", Set.of("arguments"), lines);
      }
      plans.add(new Plan.Extra(c.name(), c.console(), c.binary(), c.executable(),
          c.configName(), config.data(c.name())));
    }
    return plans;
  }

  /** The values of --launcher-java-option and --launcher-argument by launcher, checked. */
  private void readOwnOptions(Options options) {
    Set<String> names = new HashSet<>();
    checked.forEach(c -> names.add(c.name()));
    for (Option.Repeated option : List.of(LAUNCHER_JAVA_OPTION, LAUNCHER_ARGUMENT)) {
      Map<String, List<String>> byName = new HashMap<>();
      for (String value : options.list(option)) {
        ConfigText.checkValue("the " + option.spelled() + " value", value);
        int equals = value.indexOf('=');
        String name = equals < 0 ? null : value.substring(0, equals);
        if (name == null || !names.contains(name)) {
          throw Refusal.of(
              "%s %s does not start with the name of a launcher that --launcher or"
                  + " --console-launcher adds, and '=' (launchers: %s)",
              option.spelled(), shown(value),
              names.isEmpty() ? "none" : String.join(", ", names.stream().sorted().toList()));
        }
        byName.computeIfAbsent(name, n -> new ArrayList<>()).add(value.substring(equals + 1));
      }
      own.put(option, byName);
    }
    sharedJavaOptions = options.list(OptionTable.JAVA_OPTION);
  }

  // Windows file names differ only in case for the file system; Linux ones differ as they are.
  private static String fileKey(Target target, String name) {
    return target.windows ? name.toLowerCase(Locale.ROOT) : name;
  }

  private static ConfigText entry(
      Options options, EntryPoint entryPoint, InputPaths paths, String name, String entry) {
    ConfigText lines = ConfigText.create();
    if (entry.startsWith("jar:")) {
      Path jar = entryPoint.checkMainJar(entry.substring("jar:".length()));
      return lines.add(SECTION, "app.mainjar", paths.inConfig(jar));
    }
    List<Path> classPath = entryPoint.classPathOfClasses();
    if (entry.startsWith("module:")) {
      String module = entry.substring("module:".length());
      entryPoint.checkMainModule(module, options.list(MODULE_PATH));
      classPath.forEach(e -> lines.add(SECTION, "app.classpath", paths.inConfig(e)));
      return lines.add(SECTION, "app.mainmodule", module);
    }
    if (!EntryPoint.javaName(entry)) {
      throw Refusal.of(
          "the entry %s of the launcher %s is not a Java class name (like org.example.Main),"
              + " jar:FILE or module:MODULE[/CLASS]",
          shown(entry), name);
    }
    if (classPath.isEmpty()) {
      throw Refusal.of(
          "the launcher %s runs the class %s, but the image has no class path: give"
              + " --class-path, or jar:FILE or module:MODULE for the launcher",
          name, entry);
    }
    if (!entryPoint.onClassPath(classPath, entry)) {
      throw Refusal.of(
          "the main class %s of the launcher %s is in none of the class-path entries %s",
          entry, name, classPath.stream().map(Path::toString).collect(Collectors.joining(", ")));
    }
    classPath.forEach(e -> lines.add(SECTION, "app.classpath", paths.inConfig(e)));
    return lines.add(SECTION, "app.mainclass", entry);
  }
}
