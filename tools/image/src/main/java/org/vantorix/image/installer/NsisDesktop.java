package org.vantorix.image.installer;

import static org.vantorix.image.installer.NsisScript.text;

import java.util.ArrayList;
import java.util.List;

/**
 * The lines of a setup program's script for what {@link Desktop} describes: the other
 * launchers' shortcuts, a ProgID for each file type and a key for each URL scheme, in
 * {@code Software\Classes} of the install scope (SHCTX: HKCU for the user, HKLM for the machine).
 *
 * <p>Setup changes only what is its own or free: it sets the default of {@code .EXT} and its
 * "Content Type" only where they are empty (or already its own), and a URL scheme's key only
 * where no other program has one; the uninstall key records which of them it set, and the
 * uninstaller removes exactly those, so that another program's association comes through an
 * install and an uninstall unchanged.
 */
final class NsisDesktop {
  private static final String CLASSES = "Software\\Classes\\";
  // The values of the uninstall key that say what setup set (a later setup of the same id keeps
  // them, as what it finds set is then its own).
  private static final String SET_DEFAULT = "VantorixDefault.";
  private static final String SET_TYPE = "VantorixContentType.";
  private static final String SET_SCHEME = "VantorixScheme.";

  private NsisDesktop() {}

  /** What setup adds after the primary launcher's shortcut. */
  static String install(InstallerPlan plan, String key) {
    Desktop desktop = plan.request().desktop();
    List<String> lines = new ArrayList<>();
    for (Desktop.Launcher launcher : desktop.guiLaunchers()) {
      String name = text(launcher.name());
      lines.add("CreateShortcut \"$SMPROGRAMS\\" + name + ".lnk\" \"$INSTDIR\\" + name
          + ".exe\" \"\" \"$INSTDIR\\" + name + ".exe\" 0");
    }
    for (Desktop.FileType type : desktop.fileTypes()) {
      String progId = progId(plan, type);
      String ext = CLASSES + "." + type.extension();
      String exe = "$INSTDIR\\" + text(type.launcher()) + ".exe";
      lines.add("WriteRegStr SHCTX \"" + CLASSES + progId + "\" \"\" \""
          + text(plan.name()) + " ." + type.extension() + " file\"");
      lines.add("WriteRegStr SHCTX \"" + CLASSES + progId + "\\DefaultIcon\" \"\" \"" + exe
          + ",0\"");
      lines.add(openCommand(CLASSES + progId, exe));
      lines.add("WriteRegStr SHCTX \"" + ext + "\\OpenWithProgids\" \"" + progId + "\" \"\"");
      lines.addAll(setIfFree(ext, "", progId, key, SET_DEFAULT + type.extension()));
      lines.addAll(setIfFree(ext, "Content Type", type.mimeType(), key,
          SET_TYPE + type.extension()));
    }
    for (int i = 0; i < desktop.urlSchemes().size(); i++) {
      String scheme = desktop.urlSchemes().get(i);
      String exe = "$INSTDIR\\" + text(desktop.urlLaunchers().get(i)) + ".exe";
      String schemeKey = CLASSES + scheme;
      lines.add("ClearErrors");
      lines.add("ReadRegStr $0 SHCTX \"" + key + "\" \"" + SET_SCHEME + scheme + "\"");
      lines.add("EnumRegKey $1 SHCTX \"" + schemeKey + "\" 0");
      lines.add("ReadRegStr $2 SHCTX \"" + schemeKey + "\" \"\"");
      lines.add("${If} $0 == \"1\"");
      lines.add("${OrIf} $1$2 == \"\"");
      lines.add("  WriteRegStr SHCTX \"" + schemeKey + "\" \"\" \"URL:" + text(plan.name())
          + " link\"");
      lines.add("  WriteRegStr SHCTX \"" + schemeKey + "\" \"URL Protocol\" \"\"");
      lines.add("  WriteRegStr SHCTX \"" + schemeKey + "\\DefaultIcon\" \"\" \"" + exe + ",0\"");
      lines.add("  " + openCommand(schemeKey, exe));
      lines.add("  WriteRegStr SHCTX \"" + key + "\" \"" + SET_SCHEME + scheme + "\" \"1\"");
      lines.add("${EndIf}");
    }
    if (!desktop.fileTypes().isEmpty() || !desktop.urlSchemes().isEmpty()) {
      lines.add(CHANGED);
      // A value that was not there to read is no failure of setup's.
      lines.add("ClearErrors");
    }
    return indented(lines);
  }

  /** What the uninstaller removes before the uninstall key goes. */
  static String uninstall(InstallerPlan plan, String key) {
    Desktop desktop = plan.request().desktop();
    List<String> lines = new ArrayList<>();
    for (Desktop.Launcher launcher : desktop.guiLaunchers()) {
      lines.add("Delete \"$SMPROGRAMS\\" + text(launcher.name()) + ".lnk\"");
    }
    for (Desktop.FileType type : desktop.fileTypes()) {
      String progId = progId(plan, type);
      String ext = CLASSES + "." + type.extension();
      lines.add("DeleteRegKey SHCTX \"" + CLASSES + progId + "\"");
      lines.add("DeleteRegValue SHCTX \"" + ext + "\\OpenWithProgids\" \"" + progId + "\"");
      lines.add("DeleteRegKey /ifempty SHCTX \"" + ext + "\\OpenWithProgids\"");
      lines.addAll(removeIfSet(ext, "", progId, key, SET_DEFAULT + type.extension()));
      lines.addAll(removeIfSet(ext, "Content Type", type.mimeType(), key,
          SET_TYPE + type.extension()));
      lines.add("DeleteRegKey /ifempty SHCTX \"" + ext + "\"");
    }
    for (String scheme : desktop.urlSchemes()) {
      lines.add("ReadRegStr $0 SHCTX \"" + key + "\" \"" + SET_SCHEME + scheme + "\"");
      lines.add("${If} $0 == \"1\"");
      lines.add("  DeleteRegKey SHCTX \"" + CLASSES + scheme + "\"");
      lines.add("${EndIf}");
    }
    if (!desktop.fileTypes().isEmpty() || !desktop.urlSchemes().isEmpty()) {
      lines.add(CHANGED);
    }
    return indented(lines);
  }

  /** The per-user files of the other launchers, which go with the primary's (current user). */
  static String uninstallCaches(InstallerPlan plan) {
    List<String> lines = new ArrayList<>();
    for (Desktop.Launcher launcher : plan.request().desktop().launchers()) {
      String name = text(launcher.name());
      // As the primary's: the cache files by their kinds, never a link's target, folders only
      // when empty.
      String folder = "$LOCALAPPDATA\\" + name;
      lines.add("StrCpy $R0 \"" + folder + "\"");
      lines.add("Call un.IsLink");
      lines.add("${If} $R1 <> 1");
      lines.add("  StrCpy $R0 \"" + folder + "\\ClassData\"");
      lines.add("  Call un.IsLink");
      lines.add("  ${If} $R1 <> 1");
      lines.add("    !insertmacro VX_REMOVE_CACHE_FILES \"" + folder + "\\ClassData\" \"*\"");
      lines.add("    RMDir \"" + folder + "\\ClassData\"");
      lines.add("  ${EndIf}");
      lines.add("  !insertmacro VX_REMOVE_CACHE_FILES \"" + folder + "\" \"????????????????*\"");
      lines.add("  RMDir \"" + folder + "\"");
      lines.add("${EndIf}");
    }
    return indented(lines);
  }

  /** The other launchers' options files, in the optional section that removes the primary's. */
  static String uninstallOptions(InstallerPlan plan) {
    List<String> lines = new ArrayList<>();
    for (Desktop.Launcher launcher : plan.request().desktop().launchers()) {
      String name = text(launcher.name());
      lines.add("Delete \"$APPDATA\\" + name + "\\" + name + ".jvmopts\"");
      lines.add("RMDir \"$APPDATA\\" + name + "\"");
    }
    return indented(lines);
  }

  /** The ProgID of a file type: the app id and the extension. */
  static String progId(InstallerPlan plan, Desktop.FileType type) {
    return plan.appId() + "." + type.extension();
  }

  // The shell's icons and "open with" lists follow the change at once.
  private static final String CHANGED =
      "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'";

  private static String openCommand(String key, String exe) {
    return "WriteRegStr SHCTX \"" + key + "\\shell\\open\\command\" \"\" \"$\\\"" + exe
        + "$\\\" $\\\"%1$\\\"\"";
  }

  private static List<String> setIfFree(
      String key, String value, String data, String uninstallKey, String mark) {
    return List.of(
        "ReadRegStr $0 SHCTX \"" + key + "\" \"" + value + "\"",
        "${If} $0 == \"\"",
        "${OrIf} $0 == \"" + data + "\"",
        "  WriteRegStr SHCTX \"" + key + "\" \"" + value + "\" \"" + data + "\"",
        "  WriteRegStr SHCTX \"" + uninstallKey + "\" \"" + mark + "\" \"1\"",
        "${EndIf}");
  }

  private static List<String> removeIfSet(
      String key, String value, String data, String uninstallKey, String mark) {
    return List.of(
        "ReadRegStr $0 SHCTX \"" + uninstallKey + "\" \"" + mark + "\"",
        "ReadRegStr $1 SHCTX \"" + key + "\" \"" + value + "\"",
        "${If} $0 == \"1\"",
        "${AndIf} $1 == \"" + data + "\"",
        "  DeleteRegValue SHCTX \"" + key + "\" \"" + value + "\"",
        "${EndIf}");
  }

  private static String indented(List<String> lines) {
    StringBuilder text = new StringBuilder();
    lines.forEach(line -> text.append("  ").append(line).append('\n'));
    return text.toString();
  }
}
