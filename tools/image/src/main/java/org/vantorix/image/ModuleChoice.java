package org.vantorix.image;

import java.util.ArrayDeque;
import java.util.Deque;
import java.util.Map;
import java.util.Set;
import java.util.SortedMap;
import java.util.TreeMap;
import java.util.TreeSet;

/**
 * Which JDK modules a linked runtime holds, and why: what the application's classes need (as
 * jdeps finds it), what --add-modules names, what those require, and what the JDK would find at
 * run time besides.
 *
 * <p>The run-time part comes from the JDK's own descriptors, so that each Java version brings its
 * own: a module that exports nothing to all modules is there only to provide services, and it is
 * linked when it provides a service that a linked module uses (security providers, locale data,
 * charsets, file-system and naming providers, random generators). Left out, as what no
 * application looks up: tools (a provider of {@code java.util.spi.ToolProvider}), the JDK's
 * internals (modules named {@code jdk.internal.*}), and providers of the JDK's internal services
 * (in packages {@code jdk.internal.*}, or used only by those internal modules: consoles, editors,
 * monitoring and compiler back ends). Besides, {@code jdk.unsupported}: the JDK classes that
 * libraries reach by name ({@code sun.misc.Unsafe}).
 */
final class ModuleChoice {
  static final String APPLICATION = "the application's classes";
  static final String ADDED = "--add-modules";
  static final String SERVICE = "a run-time service: ";
  static final String BY_NAME = "JDK classes that libraries reach by name (sun.misc.Unsafe)";
  static final String LOCALES = "--include-locales";
  static final String REQUIRED = "required by ";
  static final String UNSUPPORTED = "jdk.unsupported";
  static final String LOCALE_DATA = "jdk.localedata";
  private static final String TOOL_SERVICE = "java.util.spi.ToolProvider";
  private static final String INTERNAL = "jdk.internal.";

  private ModuleChoice() {}

  /**
   * Every module of the runtime with its reason, sorted by name.
   *
   * @param found the modules that jdeps found
   * @param added the modules of --add-modules
   * @param onlyFound whether to link only those (and what they require)
   * @param locales whether --include-locales is given, which needs the locale data
   */
  static SortedMap<String, String> choose(
      Map<String, ModuleInfo> jdk, Set<String> found, Set<String> added, boolean onlyFound,
      boolean locales) {
    SortedMap<String, String> reasons = new TreeMap<>();
    reasons.put("java.base", APPLICATION);
    found.forEach(m -> reasons.put(m, APPLICATION));
    added.forEach(m -> reasons.putIfAbsent(m, ADDED));
    if (locales && jdk.containsKey(LOCALE_DATA)) {
      reasons.putIfAbsent(LOCALE_DATA, LOCALES);
    }
    if (!onlyFound && jdk.containsKey(UNSUPPORTED)) {
      reasons.putIfAbsent(UNSUPPORTED, BY_NAME);
    }
    while (true) {
      addRequired(jdk, reasons);
      if (onlyFound || !addProviders(jdk, reasons)) {
        return reasons;
      }
    }
  }

  /** The modules that the chosen ones require, directly or not. */
  private static void addRequired(Map<String, ModuleInfo> jdk, SortedMap<String, String> reasons) {
    Deque<String> open = new ArrayDeque<>(reasons.keySet());
    while (!open.isEmpty()) {
      String module = open.pop();
      ModuleInfo info = jdk.get(module);
      if (info == null) {
        continue;
      }
      for (String required : info.requires()) {
        if (jdk.containsKey(required) && reasons.putIfAbsent(required, REQUIRED + module) == null) {
          open.push(required);
        }
      }
    }
  }

  /**
   * What provides a service that the chosen modules use and is not linked, for the summary: the
   * tools and internals that the rule leaves out, and the API modules, which --add-modules adds.
   */
  record LeftOut(Set<String> tools, Set<String> apis, Set<String> services) {}

  static LeftOut leftOut(Map<String, ModuleInfo> jdk, Set<String> chosen) {
    Set<String> used = new TreeSet<>();
    for (String module : chosen) {
      ModuleInfo info = jdk.get(module);
      if (info != null) {
        used.addAll(info.uses());
      }
    }
    Set<String> tools = new TreeSet<>();
    Set<String> apis = new TreeSet<>();
    Set<String> services = new TreeSet<>();
    for (ModuleInfo candidate : jdk.values()) {
      if (chosen.contains(candidate.name())
          || candidate.provides().stream().noneMatch(used::contains)) {
        continue;
      }
      boolean tool =
          candidate.name().startsWith(INTERNAL)
              || candidate.provides().contains(TOOL_SERVICE)
              || candidate.provides().stream()
                  .filter(used::contains)
                  .allMatch(p -> p.startsWith(INTERNAL));
      (tool ? tools : candidate.exportsToAll() ? apis : services).add(candidate.name());
    }
    return new LeftOut(tools, apis, services);
  }

  /** Adds the providers of the services the chosen modules use; whether any was added. */
  private static boolean addProviders(
      Map<String, ModuleInfo> jdk, SortedMap<String, String> reasons) {
    Map<String, Set<String>> users = new TreeMap<>();
    for (String module : reasons.keySet()) {
      ModuleInfo info = jdk.get(module);
      if (info != null) {
        info.uses().forEach(s -> users.computeIfAbsent(s, x -> new TreeSet<>()).add(module));
      }
    }
    boolean any = false;
    for (ModuleInfo candidate : jdk.values()) {
      if (reasons.containsKey(candidate.name())
          || candidate.exportsToAll()
          || candidate.name().startsWith(INTERNAL)
          || candidate.provides().contains(TOOL_SERVICE)) {
        continue;
      }
      Set<String> services = new TreeSet<>();
      for (String service : candidate.provides()) {
        Set<String> usedBy = users.get(service);
        if (usedBy != null
            && !service.startsWith(INTERNAL)
            && !usedBy.stream().allMatch(u -> u.startsWith(INTERNAL))) {
          services.add(service);
        }
      }
      if (!services.isEmpty()) {
        reasons.put(candidate.name(), SERVICE + String.join(", ", services));
        any = true;
      }
    }
    return any;
  }
}
