package org.vantorix.maven;

import java.lang.reflect.Field;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/** The image tool's options table, as the tool's jar declares it. */
final class ToolOptions {
  /**
   * One option: its name (without "--"), the name of its value (null for a flag), whether it
   * repeats, the help's group it is in and its help text.
   */
  record Option(String name, String value, boolean repeats, String group, String help) {}

  private static final Pattern OPTION_LINE =
      Pattern.compile("^  --([a-z-]+)(?: ([A-Z][^ ]*|[a-z]+(?:\\|[a-z]+)+))? +(.*)$");

  static List<Option> all() throws ReflectiveOperationException {
    Class<?> options = Class.forName("org.vantorix.image.Options");
    List<String> values = stringList(options, "VALUES");
    List<String> lists = stringList(options, "LISTS");
    List<String> flags = stringList(options, "FLAGS");
    Map<String, String[]> help = helpLines(staticField(options, "HELP").toString());
    List<Option> all = new ArrayList<>();
    for (List<String> kind : List.of(values, lists, flags)) {
      for (String name : kind) {
        String[] line = help.getOrDefault(name, new String[] {"", null, ""});
        all.add(new Option(name, kind == flags ? null : line[1], kind == lists, line[0], line[2]));
      }
    }
    return all;
  }

  /** The help's lines by option: {group, value, text}, continuation lines joined. */
  private static Map<String, String[]> helpLines(String help) {
    Map<String, String[]> byOption = new LinkedHashMap<>();
    String group = "";
    String[] current = null;
    boolean afterBlank = false;
    for (String line : help.split("\n")) {
      Matcher option = OPTION_LINE.matcher(line);
      if (option.matches()) {
        current = new String[] {group, option.group(2), option.group(3).strip()};
        byOption.putIfAbsent(option.group(1), current);
      } else if (line.startsWith("        ") && current != null) {
        current[2] = current[2] + " " + line.strip();
      } else {
        current = null;
        // A group's heading is the first line of a paragraph, up to its parenthesis or colon.
        if (afterBlank && !line.isBlank() && !line.startsWith(" ")) {
          group = line.replaceFirst(" *[(:].*", "");
        }
      }
      afterBlank = line.isBlank();
    }
    return byOption;
  }

  @SuppressWarnings("unchecked")
  private static List<String> stringList(Class<?> type, String name)
      throws ReflectiveOperationException {
    return (List<String>) staticField(type, name);
  }

  private static Object staticField(Class<?> type, String name)
      throws ReflectiveOperationException {
    Field field = type.getDeclaredField(name);
    field.setAccessible(true);
    return field.get(null);
  }

  private ToolOptions() {}
}
