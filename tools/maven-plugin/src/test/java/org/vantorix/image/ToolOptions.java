package org.vantorix.image;

import java.util.List;

/**
 * The image tool's options table, as the plugin's generator and tests see it. This class is in
 * the tool's package so that it reads the table itself; --help is the command line's own and has
 * no parameter.
 */
public final class ToolOptions {
  /**
   * One option: its name (without "--"), the name of its value (null for a flag), whether it
   * repeats, the heading of its group in the help and its help text on one line.
   */
  public record Option(String name, String value, boolean repeats, String group, String help) {}

  public static List<Option> all() {
    return OptionTable.all().stream()
        .filter(option -> option != OptionTable.HELP)
        .map(
            option ->
                new Option(
                    option.name(),
                    option.argument(),
                    option instanceof org.vantorix.image.Option.Repeated,
                    option.group().title.replaceFirst("(?s) *[(:].*", "").strip(),
                    option.help().replace("\n", " ")))
        .toList();
  }

  private ToolOptions() {}
}
