package org.vantorix.maven;

import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import org.vantorix.image.ToolOptions.Option;

/**
 * Writes the goal's parameters (ImageParameters.java) and their table in docs/maven.md from the
 * tool's options table and {@link ProjectDefaults}, so that neither can drift from the tool.
 */
final class ParametersGenerator {
  static final String TABLE_BEGIN = "<!-- BEGIN generated parameters: edit nothing up to END -->";
  static final String TABLE_END = "<!-- END generated parameters -->";

  /**
   * The parameter's name: the option in camel case, plural for a repeatable one; "List" instead
   * of the plural where that is another option's name (--launcher beside --launchers).
   */
  static String parameterName(Option option) {
    String camel = camelCase(option.name());
    if (!option.repeats() || camel.endsWith("s")) {
      return camel;
    }
    String plural = camel + "s";
    boolean taken = org.vantorix.image.ToolOptions.all().stream()
        .anyMatch(other -> !other.name().equals(option.name())
            && camelCase(other.name()).equals(plural));
    return taken ? camel + "List" : plural;
  }

  /** The name of a list parameter's elements: the singular. */
  static String elementName(Option option) {
    String camel = camelCase(option.name());
    return camel.endsWith("s") ? camel.substring(0, camel.length() - 1) : camel;
  }

  static String camelCase(String option) {
    StringBuilder camel = new StringBuilder();
    for (String word : option.split("-")) {
      camel.append(
          camel.length() == 0 ? word : word.substring(0, 1).toUpperCase(Locale.ROOT) + word.substring(1));
    }
    return camel.toString();
  }

  /** A path of the build machine, which Maven resolves against the project's directory. */
  static boolean isFile(Option option) {
    String value = option.value();
    return value != null && (value.equals("DIR") || value.startsWith("FILE"));
  }

  static String javaType(Option option) {
    if (option.value() == null) {
      return "boolean";
    }
    String element = isFile(option) ? "File" : "String";
    return option.repeats() ? "List<" + element + ">" : element;
  }

  static String parametersSource(List<Option> options) {
    StringBuilder source = new StringBuilder();
    source.append(
        """
        // Generated from the image tool's options table and ProjectDefaults by ParametersTest;
        // do not edit (docs/maven.md says how to write it again).
        package org.vantorix.maven;

        import java.io.File;
        import java.util.List;
        import org.apache.maven.plugin.AbstractMojo;
        import org.apache.maven.plugins.annotations.Parameter;

        /** The image tool's options, one parameter each, in the order of its options table. */
        abstract class ImageParameters extends AbstractMojo {
        """);
    for (Option option : options) {
      ProjectDefaults.Default fallback = ProjectDefaults.BY_OPTION.get(option.name());
      StringBuilder doc = new StringBuilder("Corresponds to the {@code --" + option.name() + "} option");
      if (option.repeats()) {
        doc.append(", a list of {@code <").append(elementName(option)).append(">} elements");
      }
      doc.append(": ").append(javadocText(option.help()));
      if (!doc.toString().endsWith(".")) {
        doc.append('.');
      }
      if (fallback != null) {
        doc.append(" Default: ").append(javadocText(fallback.described())).append('.');
      }
      source.append("  /**\n");
      for (String line : wrap(doc.toString(), 100 - "   * ".length())) {
        source.append("   * ").append(line).append('\n');
      }
      source.append("   */\n");
      List<String> attributes = new ArrayList<>();
      if (!option.repeats()) {
        attributes.add("property = \"vantorix." + parameterName(option) + "\"");
      }
      String expression = fallback == null ? null : fallback.expression();
      if (expression == null && option.value() == null) {
        expression = "false";
      }
      if (expression != null) {
        attributes.add("defaultValue = \"" + expression + "\"");
      }
      source.append("  @Parameter");
      if (!attributes.isEmpty()) {
        source.append('(').append(String.join(", ", attributes)).append(')');
      }
      source
          .append("\n  protected ")
          .append(javaType(option))
          .append(' ')
          .append(parameterName(option))
          .append(";\n\n");
    }
    source.append(
        """
          /** The tool's command line of the parameters that are set. */
          final void addArguments(ToolArguments command) {
        """);
    for (Option option : options) {
      String call = option.value() == null ? "flag" : option.repeats() ? "list" : "value";
      source
          .append("    command.")
          .append(call)
          .append("(\"")
          .append(option.name())
          .append("\", ")
          .append(parameterName(option))
          .append(");\n");
    }
    source.append("  }\n}\n");
    return source.toString();
  }

  /** The Markdown table of the parameters, between its two marker lines. */
  static String table(List<Option> options) {
    StringBuilder table = new StringBuilder(TABLE_BEGIN).append("\n");
    String group = null;
    for (Option option : options) {
      if (!option.group().equals(group)) {
        group = option.group();
        table.append("\n### ").append(group).append("\n\n");
        table.append("| Parameter | Option | Property | Default | Description |\n");
        table.append("|---|---|---|---|---|\n");
      }
      ProjectDefaults.Default fallback = ProjectDefaults.BY_OPTION.get(option.name());
      String parameter = "`<" + parameterName(option) + ">`";
      if (option.repeats()) {
        parameter += " of `<" + elementName(option) + ">`";
      }
      String value = option.value() == null ? "" : " " + option.value();
      String property = option.repeats() ? "" : "`vantorix." + parameterName(option) + "`";
      String described =
          fallback != null ? fallback.described() : option.value() == null ? "false" : "";
      table
          .append("| ")
          .append(parameter)
          .append(" | ")
          .append(markdownText("`--" + option.name() + value + "`"))
          .append(" | ")
          .append(property)
          .append(" | ")
          .append(markdownText(described))
          .append(" | ")
          .append(markdownText(option.help()))
          .append(" |\n");
    }
    return table.append('\n').append(TABLE_END).toString();
  }

  private static String javadocText(String text) {
    return text.replace("&", "&amp;")
        .replace("<", "&lt;")
        .replace(">", "&gt;")
        .replace("@", "&#64;")
        .replace("\\", "&#92;")
        .replace("*/", "*&#47;");
  }

  private static String markdownText(String text) {
    return text.replace("|", "\\|");
  }

  private static List<String> wrap(String text, int width) {
    List<String> lines = new ArrayList<>();
    StringBuilder line = new StringBuilder();
    for (String word : text.split(" ")) {
      if (line.length() > 0 && line.length() + 1 + word.length() > width) {
        lines.add(line.toString());
        line.setLength(0);
      }
      if (line.length() > 0) {
        line.append(' ');
      }
      line.append(word);
    }
    lines.add(line.toString());
    return lines;
  }

  private ParametersGenerator() {}
}
