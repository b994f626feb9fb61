package org.vantorix.image;

import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.CLASS_PATH;
import static org.vantorix.image.OptionTable.MAIN_CLASS;
import static org.vantorix.image.OptionTable.MAIN_JAR;
import static org.vantorix.image.OptionTable.MAIN_MODULE;
import static org.vantorix.image.OptionTable.MODULE_PATH;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.jar.Attributes;
import java.util.stream.Collectors;
import org.vantorix.image.base.Refusal;

/**
 * What the image runs: a main jar, a main class on the class path or a main module on the module
 * path, checked against the jars and modules themselves; and what jdeps is to look at.
 */
final class EntryPoint {
  private final Options options;
  private final InputPaths paths;
  private final Path input;
  private final ConfigText config;
  // What jdeps looks at: class-path roots, and the module path with its modules.
  final List<Path> classPathRoots = new ArrayList<>();
  final List<Path> modulePath = new ArrayList<>();

  EntryPoint(Options options, InputPaths paths, ConfigText config) {
    this.options = options;
    this.paths = paths;
    this.input = paths.input;
    this.config = config;
  }

  /** Checks the entry point and its paths, and adds them to the config file. */
  void plan() {
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
            : paths.entries("the module-path entry", options.list(MODULE_PATH));
    List<Path> classPath =
        options.value(MAIN_CLASS) != null
            ? checkMainClass(options.value(MAIN_CLASS), classPathOption)
            : paths.entries("the class-path entry", classPathOption);
    for (Path entry : classPath) {
      ClassPathManifest.entries(input.resolve(entry), entry, input);
      classPathRoots.add(input.resolve(entry));
    }
    modules.forEach(e -> modulePath.add(input.resolve(e)));
    modules.forEach(e -> config.add("Application", "app.modulepath", paths.inConfig(e)));
    classPath.forEach(e -> config.add("Application", "app.classpath", paths.inConfig(e)));
    if (options.value(MAIN_JAR) != null) {
      config.add("Application", "app.mainjar", paths.inConfig(checkMainJar(options.value(MAIN_JAR))));
    } else if (options.value(MAIN_CLASS) != null) {
      config.add("Application", "app.mainclass", options.value(MAIN_CLASS));
    } else {
      config.add("Application", "app.mainmodule", options.value(MAIN_MODULE));
    }
  }

  private Path checkMainJar(String path) {
    Path relative = paths.listEntry("the main jar", path);
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
    List<Path> classPath = ClassPathManifest.entries(full, relative, input);
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

  private List<Path> checkMainClass(String mainClass, List<String> classPath) {
    if (!javaName(mainClass)) {
      throw Refusal.of(
          "the main class %s is not a Java class name (like org.example.Main)", shown(mainClass));
    }
    if (classPath.isEmpty()) {
      throw new Refusal("--main-class needs at least one --class-path entry");
    }
    List<Path> entries = paths.entries("the class-path entry", classPath);
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
    List<Path> entries = paths.entries("the module-path entry", modulePathOption);
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

  /** Whether the text is a Java name: identifiers joined by dots. */
  static boolean javaName(String name) {
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
}
