package org.vantorix.image;

/** The text of --help: the usage, then each group of {@link OptionTable} with its options. */
final class Help {
  static final String USAGE =
      "usage: vantorix-image --name NAME --input DIR (--main-jar JAR | --main-class CLASS"
          + " --class-path ENTRY... | --main-module MODULE[/CLASS] --module-path ENTRY...)"
          + " [options]";
  // The column of the help lines: two blanks, the option and its placeholder, a blank.
  private static final int COLUMN = 26;

  private static final String INTRO =
      """
      Lays out an application image: the launcher under the application's name,
      app/ with the input directory's files and the launcher config file
      app/NAME.cfg, and runtime/ with a Java runtime that jlink links from the
      JDK modules the application needs (or a copy of --runtime). Everything is
      checked before anything is written; the image is built beside the output
      directory and moved into place at the end.
      """;

  private static final String END =
      """
      Example:
        vantorix-image --name Orbit --input build/orbit --main-jar orbit.jar \\
            --java-option -Xmx1g --java-option "-Dorbit.home=$APPDIR" --argument --workspace \\
            --add-modules jdk.localedata --icon orbit.ico --version 2.5.1 \\
            --vendor "Orbit Works" \\
            --output dist/Orbit

      Ends with 0 when the image (and its installer) was written; otherwise prints
      one line "vantorix-image: <what is wrong>", ends with 1 and leaves the output
      (and the installer's place) as it was.
      """;

  static String text() {
    StringBuilder text = new StringBuilder(USAGE).append("\n\n").append(INTRO);
    for (Option.Group group : Option.Group.values()) {
      text.append('\n').append(group.title).append('\n');
      for (Option option : OptionTable.all()) {
        if (option.group() == group) {
          text.append(line(option));
        }
      }
    }
    return text.append('\n').append(END).toString();
  }

  private static String line(Option option) {
    String left =
        "  " + option.spelled() + (option.argument() == null ? "" : " " + option.argument());
    StringBuilder line = new StringBuilder(left);
    line.append(" ".repeat(Math.max(1, COLUMN - left.length())));
    line.append(option.help().replace("\n", "\n" + " ".repeat(COLUMN)));
    return line.append('\n').toString();
  }

  private Help() {}
}
