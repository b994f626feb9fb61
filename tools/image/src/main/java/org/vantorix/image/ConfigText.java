package org.vantorix.image;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import org.vantorix.image.base.Refusal;

/**
 * The launcher config file's text.
 *
 * <p>The format is line-oriented: a property is "name=value" up to the end of its line, and a
 * value is taken literally after the first '='. A value cannot hold what would end or break its
 * line: LF, CR, NUL (ends the C string), Ctrl-Z (ends a file read in text mode) and text that is
 * not UTF-8. Those are refused, never mangled.
 */
final class ConfigText {
  static final List<String> MACROS = List.of("$APPDIR", "$ROOTDIR", "$BINDIR");

  private final Map<String, List<String>> sections = new LinkedHashMap<>();

  /** Adds one property to a section, sections in the order of their first property. */
  ConfigText add(String section, String name, String value) {
    checkValue("the " + name + " value", value);
    sections.computeIfAbsent(section, s -> new ArrayList<>()).add(name + "=" + value);
    return this;
  }

  byte[] data(String title) {
    StringBuilder text = new StringBuilder();
    text.append("; ")
        .append(title)
        .append(": launcher config file (UTF-8), written by vantorix-image\n");
    sections.forEach(
        (section, lines) -> {
          text.append('[').append(section).append("]\n");
          lines.forEach(line -> text.append(line).append('\n'));
        });
    return text.toString().getBytes(StandardCharsets.UTF_8);
  }

  /** A value as a message shows it: quoted, control characters escaped. */
  static String shown(String text) {
    StringBuilder out = new StringBuilder("\"");
    for (int i = 0; i < text.length(); i++) {
      char c = text.charAt(i);
      switch (c) {
        case '\n' -> out.append("\\n");
        case '\r' -> out.append("\\r");
        case '\t' -> out.append("\\t");
        default -> {
          if (c < 32 || Character.isSurrogate(c) && !validPair(text, i)) {
            out.append(String.format("\\x%02x", (int) c));
          } else {
            out.append(c);
          }
        }
      }
    }
    return out.append('"').toString();
  }

  private static boolean validPair(String text, int i) {
    char c = text.charAt(i);
    if (Character.isHighSurrogate(c)) {
      return i + 1 < text.length() && Character.isLowSurrogate(text.charAt(i + 1));
    }
    return i > 0 && Character.isHighSurrogate(text.charAt(i - 1));
  }

  /** Refuses a value that one config line cannot carry. */
  static String checkValue(String what, String value) {
    String[][] unrepresentable = {
      {"\n", "a line break"}, {"\r", "a carriage return"}, {"\0", "a NUL character"},
      {"\u001a", "a Ctrl-Z character"}
    };
    for (String[] character : unrepresentable) {
      if (value.contains(character[0])) {
        throw Refusal.of(
            "%s %s holds %s, which the config file cannot represent (one value is one line)",
            what, shown(value), character[1]);
      }
    }
    for (int i = 0; i < value.length(); i++) {
      if (Character.isSurrogate(value.charAt(i)) && !validPair(value, i)) {
        throw Refusal.of("%s %s is not valid text (its bytes are not UTF-8)", what, shown(value));
      }
    }
    return value;
  }

  private ConfigText() {}

  static ConfigText create() {
    return new ConfigText();
  }
}
