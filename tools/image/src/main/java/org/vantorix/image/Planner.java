package org.vantorix.image;

import static org.vantorix.image.OptionTable.ADD_MODULES;
import static org.vantorix.image.OptionTable.ARGUMENT;
import static org.vantorix.image.OptionTable.BRAND_TOOL;
import static org.vantorix.image.OptionTable.CLASS_PATH;
import static org.vantorix.image.OptionTable.CONSOLE;
import static org.vantorix.image.OptionTable.COPYRIGHT;
import static org.vantorix.image.OptionTable.DESCRIPTION;
import static org.vantorix.image.OptionTable.EXECUTION_LEVEL;
import static org.vantorix.image.OptionTable.FORCE;
import static org.vantorix.image.OptionTable.ICON;
import static org.vantorix.image.OptionTable.INPUT;
import static org.vantorix.image.OptionTable.INSTALLER_KIND;
import static org.vantorix.image.OptionTable.JAVA_OPTION;
import static org.vantorix.image.OptionTable.JDK;
import static org.vantorix.image.OptionTable.JMODS;
import static org.vantorix.image.OptionTable.LAUNCHERS;
import static org.vantorix.image.OptionTable.MAIN_CLASS;
import static org.vantorix.image.OptionTable.MAIN_JAR;
import static org.vantorix.image.OptionTable.MAIN_MODULE;
import static org.vantorix.image.OptionTable.MODULE_PATH;
import static org.vantorix.image.OptionTable.NAME;
import static org.vantorix.image.OptionTable.NO_FAST_START;
import static org.vantorix.image.OptionTable.OUTPUT;
import static org.vantorix.image.OptionTable.RUNTIME_COPY;
import static org.vantorix.image.OptionTable.SIGN_COMMAND;
import static org.vantorix.image.OptionTable.SPLASH;
import static org.vantorix.image.OptionTable.TARGET;
import static org.vantorix.image.OptionTable.USER_OPTION;
import static org.vantorix.image.OptionTable.VENDOR;
import static org.vantorix.image.OptionTable.VERBOSE;
import static org.vantorix.image.OptionTable.VERSION;
import static org.vantorix.image.OptionTable.WINE;
import static org.vantorix.image.ConfigText.checkValue;
import static org.vantorix.image.ConfigText.shown;

import java.io.IOException;
import java.io.InputStream;
import java.io.PrintWriter;
import java.net.URI;
import java.net.URISyntaxException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Optional;
import java.util.Set;
import java.util.TreeSet;
import java.util.jar.Attributes;
import java.util.regex.Pattern;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.vantorix.image.base.IcoFile;
import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.Versions;
import org.vantorix.image.base.WindowsNames;

/** Everything that is checked before a file is written, and what the writer is then told to do. */
final class Planner {
  static final String MARK = ".vantorix-image";
  static final List<String> EXECUTION_LEVELS =
      List.of("asInvoker", "highestAvailable", "requireAdministrator");

  private final Options options;
  private final Path toolDirectory;
  private final PrintWriter out;
  private final List<String> notes = new ArrayList<>();
  private Target target;
  private Path input;
  private final ConfigText config = ConfigText.create();
  // What jdeps looks at: class-path roots, and the module path with its modules.
  private final List<Path> classPathRoots = new ArrayList<>();
  private final List<Path> modulePath = new ArrayList<>();

  private Planner(Options options, Path toolDirectory, PrintWriter out) {
    this.options = options;
    this.toolDirectory = toolDirectory;
    this.out = out;
  }

  static Plan plan(Options options, Path toolDirectory, PrintWriter out) {
    return new Planner(options, toolDirectory, out).plan();
  }

  private Plan plan() {
    Path launchers =
        absolute(
            Optional.ofNullable(options.value(LAUNCHERS))
                .orElse(toolDirectory == null ? "." : toolDirectory.toString()));
    target =
        Optional.ofNullable(options.value(TARGET))
            .flatMap(Target::named)
            .orElseGet(() -> Binaries.defaultTarget(launchers));
    String name = options.value(NAME);
    checkName(name);
    Path launcher = Binaries.findLauncher(launchers, target, options.flag(CONSOLE));
    String executable = target.executableName(name);
    String configName = dropSuffix(executable);

    input = absolute(options.value(INPUT));
    if (!Files.isDirectory(input)) {
      throw Refusal.of("the input directory %s does not exist", input);
    }
    if (Files.exists(input.resolve(configName), LinkOption.NOFOLLOW_LINKS)) {
      throw Refusal.of(
          "the input directory already holds %s, the config file that the tool writes",
          configName);
    }

    addEntryPoint();
    if (options.value(SPLASH) != null) {
      config.add("Application", "app.splash", inConfig(checkSplash(options.value(SPLASH))));
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

    Path runtimeDirectory = null;
    if (options.value(RUNTIME_COPY) != null) {
      for (Option linking : options.givenOf(List.of(JDK, JMODS, ADD_MODULES))) {
        throw Refusal.of(
            "%s does not go with --runtime: the tool either copies a runtime or links one",
            linking.spelled());
      }
      runtimeDirectory = absolute(options.value(RUNTIME_COPY));
      Binaries.checkRuntime(runtimeDirectory, target, launcher);
    }
    Branding branding = planBranding(launchers, executable);
    Path output = checkOutput(name, runtimeDirectory, launchers);
    List<Trees.Copy> inputFiles = Trees.ofInput(input);
    Plan.RuntimeSource runtime =
        runtimeDirectory != null
            ? new Plan.Copied(runtimeDirectory, Trees.ofRuntime(runtimeDirectory))
            : planLink();
    byte[] configData = config.data(name);
    return new Plan(
        target,
        launcher,
        executable,
        configName,
        configData,
        input,
        inputFiles,
        output,
        runtime,
        branding,
        List.copyOf(notes),
        options.flag(VERBOSE));
  }

  /** The launcher's own rule for its config file's name: the name without its last suffix. */
  static String dropSuffix(String name) {
    int dot = name.lastIndexOf('.');
    return (dot < 0 ? name : name.substring(0, dot)) + ".cfg";
  }

  private void checkName(String name) {
    checkValue("the name", name);
    if (name.isEmpty()
        || name.equals(".")
        || name.equals("..")
        || name.contains("/")
        || name.chars().anyMatch(c -> c < 32)) {
      throw Refusal.of("the name %s cannot be a file name", shown(name));
    }
    if (name.indexOf(target.listSeparator()) >= 0) {
      throw Refusal.of(
          "the name %s holds '%c', the %s path-list separator, which the Java runtime would split"
              + " the image's paths at",
          shown(name), target.listSeparator(), target.label);
    }
    if (target.windows) {
      WindowsNames.problem(name)
          .ifPresent(problem -> {
            throw Refusal.of("the name %s %s", shown(name), problem);
          });
    }
  }

  /** A path relative to the input directory (or absolute inside it), checked to exist. */
  private Path relative(String what, String path, boolean directoryAllowed) {
    checkValue(what, path);
    Path full = input.resolve(path).normalize();
    Path relative;
    try {
      relative = input.relativize(full);
    } catch (IllegalArgumentException e) {
      relative = full;
    }
    if (relative.isAbsolute() || relative.startsWith("..")) {
      throw Refusal.of(
          "%s %s is not inside the input directory %s: everything the image runs comes from"
              + " there",
          what, path, input);
    }
    boolean exists =
        Files.isRegularFile(full) || (directoryAllowed && Files.isDirectory(full));
    if (!exists) {
      throw Refusal.of(
          "%s %s does not exist in the input directory %s", what, shown(relative.toString()),
          input);
    }
    for (String macro : ConfigText.MACROS) {
      if (relative.toString().contains(macro)) {
        throw Refusal.of(
            "%s %s holds %s, which the launcher would replace",
            what, shown(relative.toString()), macro);
      }
    }
    return relative;
  }

  /** A class-path or module-path element: one jar or directory. */
  private Path listEntry(String what, String path) {
    char separator = target.listSeparator();
    if (path.indexOf(separator) >= 0) {
      throw Refusal.of(
          "%s %s holds '%c', the %s path-list separator, which the Java runtime would split it"
              + " at: give one entry per option, and no file name with '%c'",
          what, shown(path), separator, target.label, separator);
    }
    return relative(what, path, true);
  }

  private String inConfig(Path relative) {
    String text = relative.toString().replace(relative.getFileSystem().getSeparator(), "/");
    return "$APPDIR" + target.separator() + text.replace("/", target.separator());
  }

  private void addEntryPoint() {
    options.entryPoint();
    List<String> classPathOption = options.list(CLASS_PATH);
    if (options.value(MAIN_JAR) != null && !classPathOption.isEmpty()) {
      throw new Refusal(
          "--class-path does not go with --main-jar: the Java runtime ignores it for a jar (list"
              + " the jars in the manifest's Class-Path, or use --main-class)");
    }
    List<Path> modules =
        options.value(MAIN_MODULE) != null
            ? checkMainModule(options.value(MAIN_MODULE), options.list(MODULE_PATH))
            : entries("the module-path entry", options.list(MODULE_PATH));
    List<Path> classPath =
        options.value(MAIN_CLASS) != null
            ? checkMainClass(options.value(MAIN_CLASS), classPathOption)
            : entries("the class-path entry", classPathOption);
    for (Path entry : classPath) {
      checkManifestClassPath(input.resolve(entry), entry);
      classPathRoots.add(input.resolve(entry));
    }
    modules.forEach(e -> modulePath.add(input.resolve(e)));
    modules.forEach(e -> config.add("Application", "app.modulepath", inConfig(e)));
    classPath.forEach(e -> config.add("Application", "app.classpath", inConfig(e)));
    if (options.value(MAIN_JAR) != null) {
      config.add("Application", "app.mainjar", inConfig(checkMainJar(options.value(MAIN_JAR))));
    } else if (options.value(MAIN_CLASS) != null) {
      config.add("Application", "app.mainclass", options.value(MAIN_CLASS));
    } else {
      config.add("Application", "app.mainmodule", options.value(MAIN_MODULE));
    }
  }

  private List<Path> entries(String what, List<String> paths) {
    return paths.stream().map(p -> listEntry(what, p)).collect(Collectors.toList());
  }

  private Path checkMainJar(String path) {
    Path relative = listEntry("the main jar", path);
    Path full = input.resolve(relative);
    if (Files.isDirectory(full)) {
      throw Refusal.of("the main jar %s is a directory", relative);
    }
    Jars.Entry jar = Jars.read(full);
    String mainClass =
        jar.mainAttribute(Attributes.Name.MAIN_CLASS)
            .orElseThrow(
                () ->
                    Refusal.of(
                        "the main jar %s has no Main-Class in its manifest: give --main-class"
                            + " with --class-path instead",
                        relative));
    List<Path> classPath = checkManifestClassPath(full, relative);
    classPathRoots.add(full);
    classPathRoots.addAll(classPath);
    if (!jar.hasClass(mainClass)
        && classPath.stream().noneMatch(p -> Jars.read(p).hasClass(mainClass))) {
      throw Refusal.of(
          "the main class %s of %s's manifest is not in the jar nor on its Class-Path",
          mainClass, relative);
    }
    return relative;
  }

  /**
   * The existing entries of a jar's manifest Class-Path (relative URLs from the jar's directory).
   * One that leads out of the input directory is refused: the image would run without it.
   */
  private List<Path> checkManifestClassPath(Path jar, Path relative) {
    if (!Files.isRegularFile(jar)) {
      return List.of();
    }
    String value =
        Jars.read(jar).mainAttribute(Attributes.Name.CLASS_PATH).orElse("");
    List<Path> found = new ArrayList<>();
    for (String item : value.split("\\s+")) {
      if (item.isEmpty()) {
        continue;
      }
      Path entry;
      try {
        URI resolved = jar.getParent().toUri().resolve(new URI(item));
        if (!"file".equalsIgnoreCase(resolved.getScheme())) {
          throw new URISyntaxException(item, "not a file");
        }
        entry = Path.of(resolved).normalize();
      } catch (URISyntaxException | IllegalArgumentException e) {
        throw Refusal.of(
            "the Class-Path entry %s of %s is not a relative file URL inside the input directory",
            shown(item), relative);
      }
      if (!entry.startsWith(input)) {
        throw Refusal.of(
            "the Class-Path entry %s of %s lies outside the input directory %s: the image would"
                + " run without it",
            item, relative, input);
      }
      if (Files.exists(entry)) {
        found.add(entry);
      }
    }
    return found;
  }

  private List<Path> checkMainClass(String mainClass, List<String> classPath) {
    if (!javaName(mainClass)) {
      throw Refusal.of(
          "the main class %s is not a Java class name (like org.example.Main)", shown(mainClass));
    }
    if (classPath.isEmpty()) {
      throw new Refusal("--main-class needs at least one --class-path entry");
    }
    List<Path> entries = entries("the class-path entry", classPath);
    if (entries.stream().noneMatch(e -> Jars.read(input.resolve(e)).hasClass(mainClass))) {
      throw Refusal.of(
          "the main class %s is in none of the class-path entries %s",
          mainClass, entries.stream().map(Path::toString).collect(Collectors.joining(", ")));
    }
    return entries;
  }

  private List<Path> checkMainModule(String mainModule, List<String> modulePathOption) {
    int slash = mainModule.indexOf('/');
    String module = slash < 0 ? mainModule : mainModule.substring(0, slash);
    String mainClass = slash < 0 ? null : mainModule.substring(slash + 1);
    if (!javaName(module) || (mainClass != null && !javaName(mainClass))) {
      throw Refusal.of(
          "the main module %s is not MODULE or MODULE/CLASS (like org.example/org.example.Main)",
          shown(mainModule));
    }
    if (modulePathOption.isEmpty()) {
      throw new Refusal("--main-module needs at least one --module-path entry");
    }
    List<Path> entries = entries("the module-path entry", modulePathOption);
    List<Jars.Module> modules =
        Jars.modulesOn(entries.stream().map(input::resolve).collect(Collectors.toList()));
    Jars.Module found =
        modules.stream()
            .filter(m -> m.name().equals(module))
            .findFirst()
            .orElseThrow(
                () ->
                    Refusal.of(
                        "the main module %s is in none of the module-path entries %s (modules"
                            + " found: %s)",
                        module,
                        entries.stream().map(Path::toString).collect(Collectors.joining(", ")),
                        modules.isEmpty()
                            ? "none"
                            : modules.stream()
                                .map(Jars.Module::name)
                                .sorted()
                                .collect(Collectors.joining(", "))));
    if (mainClass != null) {
      if (!Jars.moduleHasClass(found.location(), mainClass)) {
        throw Refusal.of(
            "the main class %s is not in the module %s (%s)",
            mainClass, module, input.relativize(found.location()));
      }
    } else if (found.mainClass().isEmpty()) {
      throw Refusal.of(
          "the module %s names no main class: give --main-module %s/CLASS", module, module);
    }
    return entries;
  }

  private static boolean javaName(String name) {
    if (name.isEmpty() || name.startsWith(".") || name.endsWith(".") || name.contains("..")) {
      return false;
    }
    for (String part : name.split("\\.")) {
      if (!Character.isJavaIdentifierStart(part.codePointAt(0))
          || !part.codePoints().allMatch(Character::isJavaIdentifierPart)) {
        return false;
      }
    }
    return true;
  }

  private Path checkSplash(String path) {
    Path relative = relative("the splash image", path, false);
    byte[] head;
    try (InputStream in = Files.newInputStream(input.resolve(relative))) {
      head = in.readNBytes(16);
    } catch (IOException e) {
      throw Refusal.of("the splash image %s cannot be read: %s", relative, Refusal.reason(e));
    }
    if (Icons.splashFormat(head).isEmpty()) {
      throw Refusal.of("the splash image %s is not a PNG, GIF, JPEG or BMP file", relative);
    }
    return relative;
  }

  private void checkIcon(String path) {
    byte[] data;
    try (InputStream in = Files.newInputStream(Path.of(path))) {
      data = in.readNBytes(64 << 20);
    } catch (IOException e) {
      throw Refusal.of("the icon %s cannot be read: %s", path, Refusal.reason(e));
    }
    if (IcoFile.startsWith(data, 0, IcoFile.pngSignature())) {
      throw Refusal.of(
          "the icon %s is a PNG image: %s takes an .ico file (a PNG image is taken for linux-x64)",
          path, target.label);
    }
    Icons.iconProblem(data)
        .ifPresent(
            problem -> {
              throw Refusal.of("the icon %s is not a valid .ico file: %s", path, problem);
            });
  }

  /** What the branding tool is given (Windows targets), checked; null for other targets. */
  private Branding planBranding(Path launchers, String executable) {
    List<Option> branding =
        options.givenOf(List.of(ICON, VERSION, VENDOR, DESCRIPTION, COPYRIGHT, EXECUTION_LEVEL));
    for (Option option : branding) {
      if (option != ICON) {
        checkValue("the " + option.spelled() + " value", options.value((Option.Value) option));
      }
    }
    String sign = options.value(SIGN_COMMAND);
    if (sign != null && sign.isBlank()) {
      throw new Refusal("the --sign-command value is empty");
    }
    if (!target.windows) {
      // A Debian package takes its icon, version, vendor and description from these.
      if (!branding.isEmpty() && options.value(INSTALLER_KIND) == null) {
        notes.add(
            String.format(
                "%s carries no icon or version information: %s not used",
                target.label,
                branding.stream().map(Option::spelled).collect(Collectors.joining(", "))));
      }
      if (sign != null) {
        notes.add(target.label + " has no Windows executable to sign: --sign-command not used");
      }
      return null;
    }
    String icon = options.value(ICON);
    if (icon != null) {
      checkIcon(icon);
    }
    String version = options.value(VERSION);
    if (version != null
        && !Versions.valid(version)) {
      throw Refusal.of("the version %s is not %s", shown(version), Versions.RULE);
    }
    String level = options.value(EXECUTION_LEVEL);
    if (level != null && !EXECUTION_LEVELS.contains(level)) {
      throw Refusal.of(
          "the execution level %s is not one of %s",
          shown(level), String.join(", ", EXECUTION_LEVELS));
    }
    String name = options.value(NAME);
    List<String> brandOptions = new ArrayList<>();
    brandOptions.addAll(
        List.of(
            "--product-name", name,
            "--original-filename", executable,
            "--description", Optional.ofNullable(options.value(DESCRIPTION)).orElse(name)));
    if (icon != null) {
      brandOptions.addAll(List.of("--icon", absolute(icon).toString()));
    }
    if (options.value(VENDOR) != null) {
      brandOptions.addAll(List.of("--company", options.value(VENDOR)));
    }
    if (options.value(COPYRIGHT) != null) {
      brandOptions.addAll(List.of("--copyright", options.value(COPYRIGHT)));
    }
    if (version != null) {
      brandOptions.addAll(List.of("--file-version", version, "--product-version", version));
    }
    if (level != null) {
      brandOptions.addAll(List.of("--execution-level", level));
    }
    Branding planned =
        Branding.plan(
            options.value(BRAND_TOOL),
            launchers,
            toolDirectory,
            options.value(WINE),
            target,
            executable,
            List.copyOf(brandOptions),
            sign);
    if (planned.note() != null) {
      notes.add(planned.note());
    }
    return planned;
  }

  /**
   * The output directory. An existing one is replaced only when it is empty, or with --force when
   * this tool wrote it; never when it holds what the tool reads or the user stands in.
   */
  private Path checkOutput(String name, Path runtime, Path launchers) {
    Path output = absolute(Optional.ofNullable(options.value(OUTPUT)).orElse(name));
    if (output.getParent() == null) {
      throw Refusal.of("the output directory %s is a file system's root", output);
    }
    char separator = target.listSeparator();
    if (output.toString().indexOf(separator) >= 0) {
      throw Refusal.of(
          "the output directory %s holds '%c', the %s path-list separator, which the Java runtime"
              + " would split the image's class path at",
          output, separator, target.label);
    }
    if (inside(output, input)) {
      throw Refusal.of(
          "the output directory %s lies inside the input directory %s", output, input);
    }
    if (!Files.exists(output, LinkOption.NOFOLLOW_LINKS)) {
      return output;
    }
    if (Files.isSymbolicLink(output)) {
      throw Refusal.of(
          "the output %s is a symbolic link: give the directory it names instead", output);
    }
    if (!Files.isDirectory(output)) {
      throw Refusal.of("the output %s exists and is not a directory", output);
    }
    Map<String, Path> kept = new LinkedHashMap<>();
    kept.put("input directory", input);
    kept.put("launchers directory", launchers);
    kept.put("runtime", runtime);
    kept.put("JDK", options.value(JDK) == null ? null : absolute(options.value(JDK)));
    kept.put(
        "jmods directory",
        options.value(JMODS) == null ? null : absolute(options.value(JMODS)));
    kept.put("icon", options.value(ICON) == null ? null : absolute(options.value(ICON)));
    kept.put("current directory", absolute("."));
    String home = System.getProperty("user.home");
    kept.put("home directory", home == null || home.isEmpty() ? null : absolute(home));
    for (Map.Entry<String, Path> entry : kept.entrySet()) {
      if (entry.getValue() != null && inside(entry.getValue(), output)) {
        throw Refusal.of(
            "the %s %s lies inside the output directory %s, which the image replaces",
            entry.getKey(), entry.getValue(), output);
      }
    }
    boolean empty;
    try (Stream<Path> children = Files.list(output)) {
      empty = children.findAny().isEmpty();
    } catch (IOException e) {
      throw Refusal.of("the output directory %s cannot be read: %s", output, Refusal.reason(e));
    }
    if (!empty) {
      if (!options.flag(FORCE)) {
        throw Refusal.of(
            "the output directory %s is not empty: give --force to replace it", output);
      }
      if (!writtenByTool(output)) {
        throw Refusal.of(
            "the output directory %s is no image that vantorix-image wrote (it lacks %s or the"
                + " config file that names): --force replaces only such an image",
            output, MARK);
      }
    }
    return output;
  }

  /** Whether a directory holds the tool's mark and the config file the mark names. */
  static boolean writtenByTool(Path directory) {
    Path mark = directory.resolve(MARK);
    if (!Files.isRegularFile(mark, LinkOption.NOFOLLOW_LINKS)) {
      return false;
    }
    try (InputStream in = Files.newInputStream(mark)) {
      String text = new String(in.readNBytes(4096), StandardCharsets.UTF_8);
      return text.lines()
          .filter(l -> l.startsWith("config=app/"))
          .map(l -> l.substring("config=app/".length()))
          .anyMatch(
              cfg ->
                  !cfg.isEmpty()
                      && !cfg.contains("/")
                      && !cfg.contains("\\")
                      && !cfg.equals("..")
                      && Files.isRegularFile(
                          directory.resolve("app").resolve(cfg), LinkOption.NOFOLLOW_LINKS));
    } catch (IOException e) {
      return false;
    }
  }

  /** The mark's text for an image whose config file is app/NAME.cfg. */
  static String markText(String configName) {
    return "written by vantorix-image\nconfig=app/" + configName + "\n";
  }

  /** The JDK modules that the application needs, and how jlink links them. */
  private Plan.Linked planLink() {
    Jdk jdk = Jdk.find(options.value(JDK), options.value(JMODS));
    jdk.check(target);
    Set<String> modules = new TreeSet<>();
    modules.add("java.base");
    Jdeps.Needs needs =
        Jdeps.modules(jdk, classPathRoots, modulePath, out, options.flag(VERBOSE));
    modules.addAll(needs.modules());
    if (options.value(MAIN_MODULE) != null && !needs.onlyAutomatic().isEmpty()) {
      // A main module's runtime resolves only what is required from it; the automatic modules
      // require nothing, so their JDK modules are added by name.
      config.add(
          "JavaOptions",
          "java-options",
          "--add-modules=" + String.join(",", needs.onlyAutomatic()));
    }
    for (String value : options.list(ADD_MODULES)) {
      for (String module : value.split(",")) {
        String trimmed = module.strip();
        if (trimmed.isEmpty()) {
          continue;
        }
        if (!javaName(trimmed) || !jdk.hasModule(trimmed)) {
          throw Refusal.of(
              "the module %s of --add-modules is not among the JDK modules in %s",
              shown(trimmed), jdk.modules());
        }
        modules.add(trimmed);
      }
    }
    boolean archive = jdk.forThisMachine();
    List<String> jlink = new ArrayList<>();
    if (jdk.jmods() != null) {
      jlink.addAll(List.of("--module-path", jdk.jmods().toString()));
    }
    jlink.addAll(
        List.of(
            "--add-modules",
            String.join(",", modules),
            "--strip-debug",
            "--no-header-files",
            "--no-man-pages"));
    if (archive) {
      jlink.add("--generate-cds-archive");
    }
    return new Plan.Linked(jdk, List.copyOf(modules), List.copyOf(jlink), archive);
  }

  private static boolean inside(Path path, Path directory) {
    return real(path).startsWith(real(directory));
  }

  /** The real path where the file exists, else the absolute normalized one. */
  private static Path real(Path path) {
    try {
      return path.toRealPath();
    } catch (IOException e) {
      return path.toAbsolutePath().normalize();
    }
  }

  private static Path absolute(String path) {
    return Path.of(path).toAbsolutePath().normalize();
  }
}
