package org.vantorix.image.base;

import java.util.regex.Pattern;
import java.util.stream.Stream;

/** The one version rule of the tool: what a Windows version resource and both installers hold. */
public final class Versions {
  private static final Pattern NUMBERS = Pattern.compile("\\d{1,9}(\\.\\d{1,9}){0,3}");

  /** How a message says what a version must be. */
  public static final String RULE = "1 to 4 numbers of 0 to 65535 joined by dots (like 2.5.1)";

  /** Whether the text is 1 to 4 numbers of 0 to 65535 joined by dots. */
  public static boolean valid(String version) {
    return NUMBERS.matcher(version).matches()
        && Stream.of(version.split("\\.")).allMatch(p -> Long.parseLong(p) <= 65535);
  }

  /** The version with as many zeros added as a Windows version resource needs (four numbers). */
  public static String fourParts(String version) {
    StringBuilder text = new StringBuilder(version);
    for (int parts = version.split("\\.").length; parts < 4; parts++) {
      text.append(".0");
    }
    return text.toString();
  }

  private Versions() {}
}
