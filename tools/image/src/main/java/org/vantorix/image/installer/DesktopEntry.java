package org.vantorix.image.installer;

/**
 * The desktop entry of a Debian package, as the desktop reads it (freedesktop.org's rules): values
 * escaped, the command quoted, and the window class that ties the application's windows to the
 * entry (and so to its icon in the task bar).
 */
final class DesktopEntry {

  // The characters that make an argument of Exec need quotes.
  private static final String RESERVED = " \t\n\"'\\><~|&;$*?#()`";

  private DesktopEntry() {}

  /** The primary launcher's entry, with no field code. */
  static String of(InstallerPlan plan, boolean icon) {
    return of(plan, icon, new DebianDesktop.Entry(
        plan.appId() + ".desktop", plan.name(), null, java.util.List.of(), false));
  }

  /**
   * One launcher's entry. The window class is known for the primary launcher only: another
   * launcher's main class names its windows otherwise.
   */
  static String of(InstallerPlan plan, boolean icon, DebianDesktop.Entry entry) {
    boolean primary = entry.launcher().equals(plan.name());
    String windowClass = primary ? plan.request().windowClass() : null;
    return "[Desktop Entry]\n"
        + "Type=Application\n"
        + "Name=" + string(entry.launcher()) + "\n"
        + (plan.description().equals(entry.launcher()) ? ""
            : "Comment=" + string(plan.description()) + "\n")
        + "Exec=" + exec("/usr/bin/" + entry.launcher(), entry.fieldCode()) + "\n"
        + (icon ? "Icon=" + plan.appId() + "\n" : "")
        + "Terminal=false\n"
        + "Categories=Utility;\n"
        + (windowClass == null ? "" : "StartupWMClass=" + string(windowClass) + "\n")
        + DebianDesktop.extraLines(entry);
  }

  /** The Exec value: the command as one argument, then the field code if any. */
  static String exec(String command, String fieldCode) {
    return string(execArgument(command)) + (fieldCode == null ? "" : " " + fieldCode);
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
