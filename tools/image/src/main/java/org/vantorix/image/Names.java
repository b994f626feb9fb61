package org.vantorix.image;

import static org.vantorix.image.ConfigText.checkValue;
import static org.vantorix.image.ConfigText.shown;

import org.vantorix.image.base.Refusal;
import org.vantorix.image.base.WindowsNames;

/** The application's name: what it may be, and the name of the config file that follows. */
final class Names {
  /** Refuses a name that cannot name the image's executable on the target. */
  static void check(String name, Target target) {
    checkValue("the name", name);
    if (name.isEmpty()
        || name.equals(".")
        || name.equals("..")
        || name.contains("/")
        || name.chars().anyMatch(c -> c < 32)) {
      throw Refusal.of("the name %s cannot be a file name", shown(name));
    }
    if (name.indexOf(target.listSeparator()) >= 0) {
      throw Refusal.of(
          "the name %s holds '%c', the %s path-list separator, which the Java runtime would split"
              + " the image's paths at",
          shown(name), target.listSeparator(), target.label);
    }
    if (target.windows) {
      WindowsNames.problem(name)
          .ifPresent(problem -> {
            throw Refusal.of("the name %s %s", shown(name), problem);
          });
    }
  }

  /** The launcher's own rule for its config file's name: the name without its last suffix. */
  static String configName(String executable) {
    int dot = executable.lastIndexOf('.');
    return (dot < 0 ? executable : executable.substring(0, dot)) + ".cfg";
  }

  private Names() {}
}
