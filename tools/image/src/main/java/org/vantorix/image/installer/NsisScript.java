package org.vantorix.image.installer;

import java.nio.file.Path;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The NSIS script of a setup program. Setup writes the image's files, a list of them (the
 * manifest) and the uninstaller into the install directory. The next setup of the same id
 * removes what the manifest lists before it writes its own files, so that a file the new version
 * no longer has does not stay behind; the uninstaller removes what the manifest lists and nothing
 * else, so that a directory the user chose is never emptied of the user's own files.
 */
final class NsisScript {

  /** The list of what setup wrote, in the install directory. */
  static final String MANIFEST = "installed-files.txt";
  static final String UNINSTALLER = "uninstall.exe";

  private static final String TEMPLATE = """
      ; The setup program of @NAME@ @VERSION@, written by vantorix-image.
      Unicode true
      Target @TARGET@
      SetCompressor /SOLID lzma
      ManifestDPIAware true
      RequestExecutionLevel @LEVEL@
      Name "@NAME@"
      OutFile "@OUTFILE@"
      InstallDir "@INSTALL_DIR@"
      InstallDirRegKey @ROOT_KEY@ "@KEY@" "InstallLocation"
      BrandingText "@NAME@ @VERSION@"
      @ICON@
      VIProductVersion @VERSION4@
      VIAddVersionKey /LANG=1033 "ProductName" "@NAME@"
      VIAddVersionKey /LANG=1033 "ProductVersion" "@VERSION@"
      VIAddVersionKey /LANG=1033 "FileVersion" "@VERSION@"
      VIAddVersionKey /LANG=1033 "FileDescription" "@NAME@ @VERSION@ setup"
      VIAddVersionKey /LANG=1033 "CompanyName" "@VENDOR@"
      @SIGN@

      !include LogicLib.nsh

      Page directory
      Page instfiles
      UninstPage uninstConfirm
      UninstPage components
      UninstPage instfiles

      ; Removes what the manifest in $INSTDIR lists: files, then directories deepest first (only
      ; when they are empty). An entry that could lead out of $INSTDIR is passed over.
      !macro VX_REMOVE_LISTED UN
      Function ${UN}RemoveListed
        ClearErrors
        FileOpen $0 "$INSTDIR\\@MANIFEST@" r
        ${If} ${Errors}
          Return
        ${EndIf}
        ${Do}
          ClearErrors
          FileReadUTF16LE $0 $1
          ${If} ${Errors}
            ${Break}
          ${EndIf}
          ${Do}
            StrCpy $2 $1 1 -1
            ${If} $2 == "$\\r"
            ${OrIf} $2 == "$\\n"
              StrCpy $1 $1 -1
            ${Else}
              ${Break}
            ${EndIf}
          ${Loop}
          ; A directory's entry ends with a backslash.
          StrCpy $2 $1 1 -1
          ${If} $2 == "\\"
            StrCpy $1 $1 -1
          ${EndIf}
          StrCpy $3 1
          ${If} $1 == ""
            StrCpy $3 0
          ${EndIf}
          StrCpy $4 "\\$1\\"
          StrLen $5 $4
          StrCpy $6 0
          ${DoWhile} $6 < $5
            StrCpy $7 $4 1 $6
            StrCpy $8 $4 4 $6
            StrCpy $9 $4 2 $6
            ${If} $7 == ":"
            ${OrIf} $7 == "/"
            ${OrIf} $8 == "\\..\\"
            ${OrIf} $9 == "\\\\"
              StrCpy $3 0
            ${EndIf}
            IntOp $6 $6 + 1
          ${Loop}
          ${If} $3 == 1
            ${If} $2 == "\\"
              RMDir "$INSTDIR\\$1"
            ${Else}
              Delete "$INSTDIR\\$1"
            ${EndIf}
          ${EndIf}
        ${Loop}
        FileClose $0
      FunctionEnd
      !macroend
      !insertmacro VX_REMOVE_LISTED ""
      !insertmacro VX_REMOVE_LISTED "un."

      Function .onInit
        SetShellVarContext @CONTEXT@
      FunctionEnd

      Function un.onInit
        SetShellVarContext @CONTEXT@
      FunctionEnd

      Section "@NAME@"
        SectionIn RO
        ClearErrors
        SetOutPath "$INSTDIR"
        ${If} ${Errors}
          SetErrorLevel 2
          Abort "Setup could not make the directory $INSTDIR."
        ${EndIf}
        ; The files of the version installed before go first.
        Call RemoveListed
        ClearErrors
      @FILES@
        SetOutPath "$INSTDIR"
        File "/oname=@MANIFEST@" "@MANIFEST_SOURCE@"
        WriteUninstaller "$INSTDIR\\@UNINSTALLER@"
        ${If} ${Errors}
          SetErrorLevel 2
          Abort "Setup could not write every file into $INSTDIR."
        ${EndIf}
        CreateShortcut "$SMPROGRAMS\\@NAME@.lnk" "$INSTDIR\\@EXE@" "" "$INSTDIR\\@EXE@" 0
        Delete "$DESKTOP\\@NAME@.lnk"
      @DESKTOP@
      @DESKTOP_INSTALL@        WriteRegStr SHCTX "@KEY@" "DisplayName" "@NAME@"
        WriteRegStr SHCTX "@KEY@" "DisplayVersion" "@VERSION@"
        WriteRegStr SHCTX "@KEY@" "Publisher" "@VENDOR@"
        WriteRegStr SHCTX "@KEY@" "DisplayIcon" "$INSTDIR\\@EXE@"
        WriteRegStr SHCTX "@KEY@" "InstallLocation" "$INSTDIR"
        WriteRegStr SHCTX "@KEY@" "UninstallString" "$\\"$INSTDIR\\@UNINSTALLER@$\\""
        WriteRegStr SHCTX "@KEY@" "QuietUninstallString" "$\\"$INSTDIR\\@UNINSTALLER@$\\" /S"
        WriteRegDWORD SHCTX "@KEY@" "EstimatedSize" @SIZE_KB@
        WriteRegDWORD SHCTX "@KEY@" "NoModify" 1
        WriteRegDWORD SHCTX "@KEY@" "NoRepair" 1
        ${If} ${Errors}
          SetErrorLevel 2
          Abort "Setup could not register @NAME@ for uninstalling."
        ${EndIf}
      SectionEnd

      Section "un.@NAME@"
        SectionIn RO
        Call un.RemoveListed
        Delete "$INSTDIR\\@MANIFEST@"
        Delete "$INSTDIR\\@UNINSTALLER@"
        RMDir "$INSTDIR"
        Delete "$SMPROGRAMS\\@NAME@.lnk"
        Delete "$DESKTOP\\@NAME@.lnk"
        ; The class-data cache is the program's, made on its first start for the user (unless
        ; the program itself was installed in its place).
        SetShellVarContext current
        ${If} "$LOCALAPPDATA\\@NAME@" != "$INSTDIR"
          RMDir /r "$LOCALAPPDATA\\@NAME@"
        ${EndIf}
      @DESKTOP_CACHES@
        SetShellVarContext @CONTEXT@
      @DESKTOP_UNINSTALL@
        DeleteRegKey SHCTX "@KEY@"
      SectionEnd

      ; The user's own options stay unless the user asks for them to go.
      Section /o "un.Your options file (@NAME@.jvmopts)"
        SetShellVarContext current
        Delete "$APPDATA\\@NAME@\\@NAME@.jvmopts"
        RMDir "$APPDATA\\@NAME@"
      @DESKTOP_OPTIONS@
      SectionEnd
      """;

  private NsisScript() {}

  /**
   * The script for a plan.
   *
   * @param files the image's files
   * @param manifest the manifest file as it is to be installed
   * @param output where makensis writes the setup program
   */
  static String render(InstallerPlan plan, ImageFiles files, Path manifest, Path output) {
    InstallerRequest request = plan.request();
    boolean machine = request.scope() == InstallScope.MACHINE;
    boolean x64 = request.target().equals("windows-x64");
    Map<String, String> values = new LinkedHashMap<>();
    values.put("NAME", text(plan.name()));
    values.put("VERSION", text(plan.version()));
    values.put("VERSION4", plan.fourPartVersion());
    values.put("TARGET", x64 ? "amd64-unicode" : "x86-unicode");
    values.put("LEVEL", machine ? "admin" : "user");
    values.put("CONTEXT", machine ? "all" : "current");
    values.put("ROOT_KEY", machine ? "HKLM" : "HKCU");
    values.put("OUTFILE", text(output.toString()));
    values.put("INSTALL_DIR", (machine ? (x64 ? "$PROGRAMFILES64" : "$PROGRAMFILES")
        : "$LOCALAPPDATA\\Programs") + "\\" + text(plan.name()));
    values.put("KEY", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + plan.appId());
    String icon = request.icon() == null ? null : text(request.icon().toAbsolutePath().toString());
    values.put("ICON", icon == null ? ""
        : "Icon \"" + icon + "\"\nUninstallIcon \"" + icon + "\"");
    values.put("VENDOR", text(request.vendor() == null ? "" : request.vendor()));
    values.put("SIGN", signLines(request.signCommand()));
    values.put("MANIFEST", MANIFEST);
    values.put("MANIFEST_SOURCE", text(manifest.toAbsolutePath().toString()));
    values.put("UNINSTALLER", UNINSTALLER);
    values.put("EXE", text(plan.name() + ".exe"));
    values.put("DESKTOP", request.desktopShortcut()
        ? "  CreateShortcut \"$DESKTOP\\" + text(plan.name()) + ".lnk\" \"$INSTDIR\\"
            + text(plan.name()) + ".exe\" \"\" \"$INSTDIR\\" + text(plan.name()) + ".exe\" 0"
        : "");
    values.put("SIZE_KB", Long.toString((files.bytes() + 1023) / 1024));
    values.put("FILES", fileLines(files));
    values.put("DESKTOP_INSTALL", NsisDesktop.install(plan, values.get("KEY")));
    values.put("DESKTOP_CACHES", NsisDesktop.uninstallCaches(plan));
    values.put("DESKTOP_UNINSTALL", NsisDesktop.uninstall(plan, values.get("KEY")));
    values.put("DESKTOP_OPTIONS", NsisDesktop.uninstallOptions(plan));
    String script = TEMPLATE;
    for (Map.Entry<String, String> value : values.entrySet()) {
      script = script.replace("@" + value.getKey() + "@", value.getValue());
    }
    return script;
  }

  /**
   * The manifest's lines: every file, then every directory (with a '\' at its end) deepest first,
   * the order in which they can be removed.
   */
  static List<String> manifestLines(ImageFiles files) {
    List<String> lines = new java.util.ArrayList<>();
    for (ImageFiles.Entry file : files.files()) {
      lines.add(file.relative("\\"));
    }
    List<ImageFiles.Entry> directories = files.directories();
    for (int i = directories.size() - 1; i >= 0; i--) {
      lines.add(directories.get(i).relative("\\") + "\\");
    }
    return lines;
  }

  private static String fileLines(ImageFiles files) {
    StringBuilder lines = new StringBuilder();
    for (ImageFiles.Entry directory : files.directories()) {
      lines.append("  CreateDirectory \"$INSTDIR\\").append(text(directory.relative("\\")))
          .append("\"\n");
    }
    String current = null;
    for (ImageFiles.Entry file : files.files()) {
      String directory = String.join("\\", file.parts().subList(0, file.parts().size() - 1));
      if (!directory.equals(current)) {
        lines.append("  SetOutPath \"$INSTDIR")
            .append(directory.isEmpty() ? "" : "\\" + text(directory)).append("\"\n");
        current = directory;
      }
      lines.append("  File \"").append(text(file.source().toAbsolutePath().toString()))
          .append("\"\n");
    }
    return lines.toString();
  }

  // makensis runs these through the shell on the uninstaller and on the setup program once each
  // is complete, with the file's path for %1 (in place of {} or added at the end, as the image
  // tool does for the launchers); a command that fails stops the build.
  private static String signLines(String signCommand) {
    if (signCommand == null) {
      return "";
    }
    String file = "\"%1\"";
    String line = signCommand.contains("{}") ? signCommand.replace("{}", file)
        : signCommand + " " + file;
    return "!uninstfinalize `" + line + "` = 0\n!finalize `" + line + "` = 0";
  }

  /** A value in a double-quoted string of the script: '$' and '"' escaped. */
  static String text(String value) {
    return value.replace("$", "$$").replace("\"", "$\\\"");
  }
}
