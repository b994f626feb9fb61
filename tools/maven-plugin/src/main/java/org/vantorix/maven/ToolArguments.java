package org.vantorix.maven;

import java.io.File;
import java.util.ArrayList;
import java.util.List;

/** The image tool's command line, built from the goal's parameters. */
final class ToolArguments {
  private final List<String> words = new ArrayList<>();

  void value(String option, Object value) {
    if (value != null) {
      words.add("--" + option);
      words.add(text(value));
    }
  }

  void list(String option, List<?> values) {
    if (values != null) {
      values.forEach(value -> value(option, value));
    }
  }

  void flag(String option, boolean set) {
    if (set) {
      words.add("--" + option);
    }
  }

  List<String> words() {
    return List.copyOf(words);
  }

  /** A file parameter is passed as an absolute path: Maven resolved it against the project. */
  private static String text(Object value) {
    return value instanceof File file ? file.getAbsolutePath() : value.toString();
  }
}
