package org.vantorix.image;

import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.ADD_MODULES;
import static org.vantorix.image.OptionTable.JDK;
import static org.vantorix.image.OptionTable.JMODS;
import static org.vantorix.image.OptionTable.MAIN_MODULE;
import static org.vantorix.image.OptionTable.VERBOSE;

import java.io.PrintWriter;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import org.vantorix.image.base.Refusal;

/** The runtime that jlink links: the JDK, the modules that jdeps finds, and jlink's options. */
final class LinkPlan {
  /** The JDK modules that the application needs, and how jlink links them. */
  static Plan.Linked plan(
      Options options,
      Target target,
      List<Path> classPathRoots,
      List<Path> modulePath,
      ConfigText config,
      PrintWriter out) {
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
        if (!EntryPoint.javaName(trimmed) || !jdk.hasModule(trimmed)) {
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

  private LinkPlan() {}
}
