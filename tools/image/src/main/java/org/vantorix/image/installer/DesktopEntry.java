package org.vantorix.image.installer;

/**
 * The desktop entry of a Debian package, as the desktop entry specification has it: values
 * escaped, the command quoted, and the window class that ties the application's windows to the
 * entry (and so to its icon in the task bar).
 */
final class DesktopEntry {

  // The characters that make an argument of Exec need quotes.
  private static final String RESERVED = " \t\n\"'\\><~|&;$*?#()`";

  private DesktopEntry() {}

  static String of(InstallerPlan plan, boolean icon) {
    String windowClass = plan.request().windowClass();
    return "[Desktop Entry]\n"
        + "Type=Application\n"
        + "Name=" + string(plan.name()) + "\n"
        + (plan.description().equals(plan.name()) ? ""
            : "Comment=" + string(plan.description()) + "\n")
        + "Exec=" + string(execArgument("/usr/bin/" + plan.name())) + "\n"
        + (icon ? "Icon=" + plan.appId() + "\n" : "")
        + "Terminal=false\n"
        + "Categories=Utility;\n"
        + (windowClass == null ? "" : "StartupWMClass=" + string(windowClass) + "\n");
  }

  /**
   * An argument of Exec: in double quotes when it holds a reserved character, with '"', '`', '$'
   * and '\' escaped there; a '%' doubled, as it starts a field code.
   */
  static String execArgument(String argument) {
    String text = argument.replace("%", "%%");
    if (text.chars().noneMatch(c -> RESERVED.indexOf(c) >= 0)) {
      return text;
    }
    StringBuilder quoted = new StringBuilder("\"");
    for (char c : text.toCharArray()) {
      if ("\"`$\\".indexOf(c) >= 0) {
        quoted.append('\\');
      }
      quoted.append(c);
    }
    return quoted.append('"').toString();
  }

  /** A value of type string: a backslash escaped (the line breaks are refused before). */
  static String string(String value) {
    return value.replace("\\", "\\\\");
  }
}
