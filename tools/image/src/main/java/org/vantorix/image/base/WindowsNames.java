package org.vantorix.image.base;

import java.util.List;
import java.util.Locale;
import java.util.Optional;
import java.util.Set;
import java.util.TreeSet;
import java.util.stream.Collectors;

/** What a file name on Windows cannot be. */
public final class WindowsNames {
  private static final String FORBIDDEN = "<>:\"/\\|?*";
  private static final Set<String> DEVICES = devices();

  /**
   * Why Windows cannot hold the file name, as the end of a sentence ("holds ?, which Windows file
   * names cannot hold"), or empty when it can.
   */
  public static Optional<String> problem(String name) {
    if (name.chars().anyMatch(c -> c < 32)) {
      return Optional.of("holds a control character, which Windows file names cannot hold");
    }
    String bad =
        FORBIDDEN
            .chars()
            .filter(c -> name.indexOf(c) >= 0)
            .sorted()
            .mapToObj(c -> String.valueOf((char) c))
            .collect(Collectors.joining(" "));
    if (!bad.isEmpty()) {
      return Optional.of("holds " + bad + ", which Windows file names cannot hold");
    }
    if (name.endsWith(".") || name.endsWith(" ")) {
      return Optional.of(
          "ends with " + (name.endsWith(".") ? "a dot" : "a blank")
              + ", which Windows drops from file names");
    }
    if (DEVICES.contains(name.split("\\.")[0].toUpperCase(Locale.ROOT))) {
      return Optional.of("is a Windows device name");
    }
    return Optional.empty();
  }

  private static Set<String> devices() {
    Set<String> devices = new TreeSet<>(List.of("CON", "PRN", "AUX", "NUL"));
    for (int n = 1; n <= 9; n++) {
      devices.add("COM" + n);
      devices.add("LPT" + n);
    }
    return Set.copyOf(devices);
  }

  private WindowsNames() {}
}
