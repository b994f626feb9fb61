package org.vantorix.image;

import static org.vantorix.image.ConfigText.checkValue;
import static org.vantorix.image.ConfigText.shown;
import static org.vantorix.image.OptionTable.ADD_MODULES;
import static org.vantorix.image.OptionTable.INCLUDE_LOCALES;
import static org.vantorix.image.OptionTable.JAVA_OPTION;
import static org.vantorix.image.OptionTable.JDK;
import static org.vantorix.image.OptionTable.JMODS;
import static org.vantorix.image.OptionTable.MAIN_MODULE;
import static org.vantorix.image.OptionTable.VERBOSE;
import static org.vantorix.image.OptionTable.ONLY_FOUND_MODULES;

import java.io.PrintWriter;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.SortedMap;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.vantorix.image.base.Refusal;

/**
 * The runtime that jlink links: the JDK, the modules that jdeps finds and those the JDK would find
 * at run time, with their reasons, jlink's options, and what follows jlink.
 */
final class LinkPlan {
  /** The archive that runs with compressed object pointers, the JVM's default below 32 GB. */
  static final String DEFAULT_ARCHIVE = "classes.jsa";
  private static final String NO_COOPS_ARCHIVE = "classes_nocoops.jsa";
  private static final Pattern HEAP = Pattern.compile("-Xmx(\\d+)([kKmMgGtT]?)");
  private static final Pattern LOCALE_TAG = Pattern.compile("[A-Za-z0-9*-]+");
  private static final long COMPRESSED_OOPS_LIMIT = 32L << 30;

  private LinkPlan() {}

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
    Jdeps.Needs needs =
        Jdeps.modules(jdk, classPathRoots, modulePath, out, options.flag(VERBOSE));
    if (options.value(MAIN_MODULE) != null && !needs.onlyAutomatic().isEmpty()) {
      // A main module's runtime resolves only what is required from it; the automatic modules
      // require nothing, so their JDK modules are added by name.
      config.add(
          "JavaOptions",
          "java-options",
          "--add-modules=" + String.join(",", needs.onlyAutomatic()));
    }
    return link(options, jdk, needs.modules());
  }

  private static Plan.Linked link(Options options, Jdk jdk, Set<String> found) {
    Map<String, ModuleInfo> modules = JdkModules.of(jdk);
    Set<String> added = new TreeSet<>();
    for (String value : options.list(ADD_MODULES)) {
      for (String module : value.split(",")) {
        String trimmed = module.strip();
        if (trimmed.isEmpty()) {
          continue;
        }
        if (!modules.containsKey(trimmed)) {
          throw Refusal.of(
              "the module %s of --add-modules is not among the JDK modules in %s",
              shown(trimmed), jdk.modules());
        }
        added.add(trimmed);
      }
    }
    String locales = options.value(INCLUDE_LOCALES);
    if (locales != null) {
      checkValue("the --include-locales value", locales);
      for (String tag : locales.split(",", -1)) {
        if (!LOCALE_TAG.matcher(tag.strip()).matches()) {
          throw Refusal.of(
              "the --include-locales value %s is not a comma-separated list of language tags"
                  + " (like en,de,fr-CA)",
              shown(locales));
        }
      }
      if (!modules.containsKey(ModuleChoice.LOCALE_DATA)) {
        throw Refusal.of(
            "--include-locales needs the JDK's locale data, but %s has no %s", jdk.modules(),
            ModuleChoice.LOCALE_DATA);
      }
    }
    SortedMap<String, String> reasons =
        ModuleChoice.choose(
            modules, found, added, options.flag(ONLY_FOUND_MODULES), locales != null);

    boolean archive = jdk.forThisMachine();
    List<String> jlink = new ArrayList<>();
    if (jdk.jmods() != null) {
      jlink.addAll(List.of("--module-path", jdk.jmods().toString()));
    }
    jlink.addAll(
        List.of(
            "--add-modules",
            String.join(",", reasons.keySet()),
            "--strip-debug",
            "--no-header-files",
            "--no-man-pages"));
    if (locales != null) {
      jlink.add("--include-locales=" + locales.replace(" ", ""));
    }
    if (reasons.containsKey(ModuleChoice.LOCALE_DATA)) {
      jlink.add(compressLocaleData(jdk.version()));
    }
    if (archive) {
      jlink.add("--generate-cds-archive");
    }
    return new Plan.Linked(
        jdk, List.copyOf(reasons.keySet()), Map.copyOf(reasons), List.copyOf(jlink), archive,
        archivesKept(options.list(JAVA_OPTION)),
        ModuleChoice.leftOut(modules, reasons.keySet()));
  }

  /**
   * Compresses the locale data alone. Compressing the whole module image halves it but costs
   * about a tenth more processor time at each start, for the classes that do not come from the
   * class-data archive; the locale data are read only for the locales a run formats in, and are
   * the largest part of the runtime after java.base. Java 21 renamed the levels.
   */
  static String compressLocaleData(Runtime.Version version) {
    return "--compress=" + (version.feature() >= 21 ? "zip-6" : "2") + ":filter=/"
        + ModuleChoice.LOCALE_DATA + "/**";
  }

  /**
   * The class-data archives that the runtime keeps: the one for compressed object pointers, and
   * the other only when the JVM options turn them off (explicitly, or by a heap of 32 GB or
   * more). Users who set such a heap in their own options file start without an archive, as
   * they would with a JDK that has none for their case.
   */
  static Set<String> archivesKept(List<String> javaOptions) {
    boolean noCoops = false;
    for (String option : javaOptions) {
      if (option.equals("-XX:-UseCompressedOops")) {
        noCoops = true;
      } else if (option.equals("-XX:+UseCompressedOops")) {
        noCoops = false;
      } else {
        Matcher heap = HEAP.matcher(option);
        if (heap.matches()) {
          noCoops = bytes(heap.group(1), heap.group(2)) >= COMPRESSED_OOPS_LIMIT;
        }
      }
    }
    return noCoops ? Set.of(DEFAULT_ARCHIVE, NO_COOPS_ARCHIVE) : Set.of(DEFAULT_ARCHIVE);
  }

  private static long bytes(String digits, String unit) {
    long value;
    try {
      value = Long.parseLong(digits);
    } catch (NumberFormatException e) {
      return Long.MAX_VALUE;
    }
    int shift =
        switch (unit.toLowerCase(Locale.ROOT)) {
          case "k" -> 10;
          case "m" -> 20;
          case "g" -> 30;
          case "t" -> 40;
          default -> 0;
        };
    return value > (Long.MAX_VALUE >> shift) ? Long.MAX_VALUE : value << shift;
  }
}
