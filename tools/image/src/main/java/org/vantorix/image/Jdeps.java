package org.vantorix.image;

import java.io.File;
import java.io.PrintWriter;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.stream.Collectors;
import org.vantorix.image.base.Programs;
import org.vantorix.image.base.Refusal;

/** The JDK modules that the application's classes need, as jdeps finds them. */
final class Jdeps {
  /**
   * What jdeps found.
   *
   * @param modules every JDK module that the application needs
   * @param onlyAutomatic those that only automatic modules need: nothing requires them, so a
   *     runtime of few modules resolves them only when it is told to
   */
  record Needs(Set<String> modules, Set<String> onlyAutomatic) {}

  static Needs modules(
      Jdk jdk, List<Path> classPath, List<Path> modulePath, PrintWriter out, boolean verbose) {
    Set<String> found = new TreeSet<>();
    Set<String> onlyAutomatic = new TreeSet<>();
    List<String> common =
        List.of(
            "--print-module-deps",
            "--ignore-missing-deps",
            "--multi-release",
            String.valueOf(jdk.version().feature()));
    if (!classPath.isEmpty()) {
      List<String> args = new ArrayList<>(common);
      classPath.forEach(p -> args.add(p.toString()));
      found.addAll(run(jdk, args, out, verbose));
    }
    if (!modulePath.isEmpty()) {
      List<Jars.Module> modules = Jars.modulesOn(modulePath);
      Set<String> own = modules.stream().map(Jars.Module::name).collect(Collectors.toSet());
      // The explicit modules' needs through their descriptors; the automatic modules' through
      // their classes, as jdeps resolves no module for a plain jar.
      List<String> args = new ArrayList<>(common);
      args.addAll(
          List.of(
              "--module-path",
              modulePath.stream()
                  .map(Path::toString)
                  .collect(Collectors.joining(File.pathSeparator)),
              "--add-modules",
              String.join(",", new TreeSet<>(own))));
      Set<String> required = new TreeSet<>(run(jdk, args, out, verbose));
      required.removeAll(own);
      found.addAll(required);
      List<Path> automatic =
          modules.stream()
              .filter(Jars.Module::automatic)
              .map(Jars.Module::location)
              .collect(Collectors.toList());
      if (!automatic.isEmpty()) {
        List<String> plain = new ArrayList<>(common);
        automatic.forEach(p -> plain.add(p.toString()));
        for (String module : run(jdk, plain, out, verbose)) {
          if (!own.contains(module) && !required.contains(module)) {
            onlyAutomatic.add(module);
          }
        }
        onlyAutomatic.remove("java.base");
        found.addAll(onlyAutomatic);
      }
    }
    return new Needs(found, onlyAutomatic);
  }

  private static List<String> run(Jdk jdk, List<String> args, PrintWriter out, boolean verbose) {
    if (verbose) {
      out.println("vantorix-image: jdeps " + String.join(" ", args));
      out.flush();
    }
    Programs.Result result = jdk.run("jdeps", args);
    if (result.code() != 0) {
      throw Refusal.of("jdeps cannot analyse the application: %s", result.lastLine());
    }
    String last =
        result.out().lines().map(String::strip).filter(l -> !l.isEmpty()).reduce((a, b) -> b)
            .orElse("");
    List<String> modules = new ArrayList<>();
    for (String module : last.split(",")) {
      if (!module.isBlank()) {
        modules.add(module.strip());
      }
    }
    return modules;
  }

  private Jdeps() {}
}
