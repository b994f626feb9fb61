package org.vantorix.maven;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/**
 * The launchers that the plugin carries in its jar, one directory per target, listed in files.txt
 * (lines such as "linux-x64/VantorixLauncher"). The tool reads them from a directory, so the
 * target's are copied out under the build directory.
 */
final class PluginLaunchers {
  static final String ROOT = "org/vantorix/maven/launchers/";

  private final List<String> files;

  PluginLaunchers(List<String> files) {
    this.files = List.copyOf(files);
  }

  static PluginLaunchers carried() throws IOException {
    List<String> files = new ArrayList<>();
    try (InputStream index = resource("files.txt")) {
      if (index != null) {
        try (BufferedReader reader =
            new BufferedReader(new InputStreamReader(index, StandardCharsets.UTF_8))) {
          reader.lines().map(String::strip).filter(l -> !l.isEmpty()).forEach(files::add);
        }
      }
    }
    return new PluginLaunchers(files);
  }

  Set<String> targets() {
    Set<String> targets = new LinkedHashSet<>();
    files.forEach(file -> targets.add(file.substring(0, Math.max(0, file.indexOf('/')))));
    return targets;
  }

  /**
   * The target whose launchers to use: the one given, else the only one carried, else the build
   * machine's.
   */
  String choose(String target) {
    if (target != null) {
      return target;
    }
    Set<String> targets = targets();
    return targets.size() == 1 ? targets.iterator().next() : hostTarget();
  }

  static String hostTarget() {
    String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
    String arch = System.getProperty("os.arch", "");
    if (os.startsWith("windows")) {
      return arch.equals("x86") ? "windows-x86" : "windows-x64";
    }
    return "linux-x64";
  }

  /**
   * Copies the target's launchers into a directory of their own under {@code into} and returns
   * it, or null when the plugin carries none for the target (the tool then says what is missing).
   */
  Path extract(String target, Path into) throws IOException {
    List<String> mine = files.stream().filter(f -> f.startsWith(target + "/")).toList();
    if (mine.isEmpty()) {
      return null;
    }
    Path directory = into.resolve(target);
    Files.createDirectories(directory);
    for (String file : mine) {
      Path to = directory.resolve(file.substring(target.length() + 1));
      try (InputStream in = resource(file)) {
        if (in == null) {
          throw new IOException("the plugin's jar lists " + file + " but does not hold it");
        }
        Files.copy(in, to, StandardCopyOption.REPLACE_EXISTING);
      }
      if (!to.toFile().setExecutable(true, false)) {
        throw new IOException("cannot make " + to + " executable");
      }
    }
    return directory;
  }

  private static InputStream resource(String name) {
    return PluginLaunchers.class.getClassLoader().getResourceAsStream(ROOT + name);
  }
}
