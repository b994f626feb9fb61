package org.vantorix.image.installer;

import java.nio.file.Path;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The NSIS script of a setup program. Setup writes the image's files, a list of them (the
 * manifest, whose first line names the application id) and the uninstaller into the install
 * directory, which the id names. A folder whose manifest names another id is refused. An upgrade
 * writes the new version beside the old one and swaps the two once it is complete, so a failure
 * on the way leaves the old version as it was; the old version's listed files then go, and what
 * the user put beside them moves into the new one. The uninstaller removes what the manifest
 * lists (never through a link or a junction), its shortcuts, its key and the launcher's cache
 * files, and nothing else.
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
      !include FileFunc.nsh

      Page directory "" "" DirectoryLeave
      Page instfiles
      UninstPage uninstConfirm
      UninstPage components
      UninstPage instfiles

      ; The folder that RemoveListed and OwnerOf work on.
      Var VxDir
      ; An upgrade writes the new version into VxNew, beside the old one, and swaps the two only when
      ; it is complete; the old version waits in VxOld until it is removed.
      Var VxNew
      Var VxOld
      Var VxTarget
      Var VxOther

      ; $R1 is 1 when $R0 is missing, a symbolic link or a junction (any reparse point): removal never
      ; goes into or through one.
      !macro VX_IS_LINK UN
      Function ${UN}IsLink
        System::Call 'kernel32::GetFileAttributesW(w R0) i .R1'
        ${If} $R1 = -1
          StrCpy $R1 1
        ${Else}
          IntOp $R1 $R1 & 0x400
          ${If} $R1 <> 0
            StrCpy $R1 1
          ${EndIf}
        ${EndIf}
      FunctionEnd
      !macroend
      !insertmacro VX_IS_LINK ""
      !insertmacro VX_IS_LINK "un."

      ; Takes the line break off the line in $1 ($2 is overwritten).
      !macro VX_TRIM_LINE
        ${Do}
          StrCpy $2 $1 1 -1
          ${If} $2 == "$\\r"
          ${OrIf} $2 == "$\\n"
            StrCpy $1 $1 -1
          ${Else}
            ${Break}
          ${EndIf}
        ${Loop}
      !macroend

      ; The id that the manifest in $VxDir names on its first line (":app-id=<id>"), into VxOther:
      ; empty when there is no manifest or it names none.
      !macro VX_OWNER_OF UN
      Function ${UN}OwnerOf
        StrCpy $VxOther ""
        ClearErrors
        FileOpen $0 "$VxDir\\@MANIFEST@" r
        ${If} ${Errors}
          Return
        ${EndIf}
        FileReadUTF16LE $0 $1
        FileClose $0
        !insertmacro VX_TRIM_LINE
        StrCpy $2 $1 8
        ${If} $2 == ":app-id="
          StrCpy $VxOther $1 "" 8
        ${EndIf}
      FunctionEnd
      !macroend
      !insertmacro VX_OWNER_OF ""
      !insertmacro VX_OWNER_OF "un."

      ; Removes what the manifest in $VxDir lists: files, then directories deepest first (only when
      ; they are empty). An entry that could lead out of $VxDir, or whose way goes through a link or a
      ; junction, is passed over; so is the first line, the id (a ':' never starts a listed path).
      !macro VX_REMOVE_LISTED UN
      Function ${UN}RemoveListed
        ClearErrors
        FileOpen $0 "$VxDir\\@MANIFEST@" r
        ${If} ${Errors}
          Return
        ${EndIf}
        ${Do}
          ClearErrors
          FileReadUTF16LE $0 $1
          ${If} ${Errors}
            ${Break}
          ${EndIf}
          !insertmacro VX_TRIM_LINE
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
            ; Each folder on the way, and the entry itself.
            ${If} $3 == 1
            ${AndIf} $7 == "\\"
            ${AndIf} $6 > 0
              IntOp $8 $6 - 1
              StrCpy $R0 $1 $8
              StrCpy $R0 "$VxDir\\$R0"
              Call ${UN}IsLink
              ${If} $R1 == 1
                StrCpy $3 0
              ${EndIf}
            ${EndIf}
            IntOp $6 $6 + 1
          ${Loop}
          ${If} $3 == 1
            ${If} $2 == "\\"
              RMDir "$VxDir\\$1"
            ${Else}
              Delete "$VxDir\\$1"
            ${EndIf}
          ${EndIf}
        ${Loop}
        FileClose $0
      FunctionEnd
      !macroend
      !insertmacro VX_REMOVE_LISTED ""
      !insertmacro VX_REMOVE_LISTED "un."

      ; Moves what is left in $R0 (the user's own files, once the old version's are gone) into $R1:
      ; an entry the new version does not have is moved as it is, a folder both have is merged.
      Function MoveLeftovers
        Push $R2
        Push $R3
        Push $R4
        FindFirst $R2 $R3 "$R0\\*"
        ${DoWhile} $R3 != ""
          ${If} $R3 != "."
          ${AndIf} $R3 != ".."
            ${IfNot} ${FileExists} "$R1\\$R3"
              Rename "$R0\\$R3" "$R1\\$R3"
            ${ElseIf} ${FileExists} "$R0\\$R3\\*.*"
            ${AndIf} ${FileExists} "$R1\\$R3\\*.*"
              Push $R0
              Push $R1
              StrCpy $R4 $R1
              StrCpy $R0 "$R0\\$R3"
              Call IsLink
              ${If} $R1 <> 1
                StrCpy $R1 "$R4\\$R3"
                Call MoveLeftovers
              ${EndIf}
              Pop $R1
              Pop $R0
            ${EndIf}
          ${EndIf}
          FindNext $R2 $R3
        ${Loop}
        FindClose $R2
        Pop $R4
        Pop $R3
        Pop $R2
      FunctionEnd

      ; A folder that another application's setup wrote is not this one's to write over.
      Function DirectoryLeave
        StrCpy $VxDir $INSTDIR
        Call OwnerOf
        ${If} $VxOther != ""
        ${AndIf} $VxOther != "@ID@"
          MessageBox MB_OK|MB_ICONEXCLAMATION "$INSTDIR holds another application ($VxOther). Choose another folder for @NAME@."
          Abort
        ${EndIf}
      FunctionEnd

      Function .onInit
        SetShellVarContext @CONTEXT@
      FunctionEnd

      Function .onInstFailed
        ; An upgrade that did not get to the swap leaves the old version as it was.
        ${If} $VxNew != ""
          SetOutPath "$TEMP"
          RMDir /r "$VxNew"
        ${EndIf}
      FunctionEnd

      Function un.onInit
        SetShellVarContext @CONTEXT@
        StrCpy $VxDir $INSTDIR
        Call un.OwnerOf
        ${If} $VxOther != ""
        ${AndIf} $VxOther != "@ID@"
          MessageBox MB_OK|MB_ICONSTOP "This uninstaller is @NAME@'s (@ID@), but $INSTDIR holds another application ($VxOther): nothing is removed." /SD IDOK
          SetErrorLevel 2
          Quit
        ${EndIf}
      FunctionEnd

      Section "@NAME@"
        SectionIn RO
        StrCpy $VxDir $INSTDIR
        Call OwnerOf
        ${If} $VxOther != ""
        ${AndIf} $VxOther != "@ID@"
          SetErrorLevel 2
          Abort "$INSTDIR holds another application ($VxOther): setup writes nothing there."
        ${EndIf}
        StrCpy $VxTarget $INSTDIR
        ${If} $VxOther == "@ID@"
          ; An upgrade: the new version goes into a folder of a new, unpredictable name beside the old one.
          ${GetParent} "$INSTDIR" $0
          ClearErrors
          GetTempFileName $VxNew "$0"
          Delete "$VxNew"
          CreateDirectory "$VxNew"
          ${If} ${Errors}
            StrCpy $VxNew ""
            SetErrorLevel 2
            Abort "Setup could not make a folder beside $INSTDIR."
          ${EndIf}
          StrCpy $VxTarget $VxNew
        ${EndIf}
        ClearErrors
        SetOutPath "$VxTarget"
        ${If} ${Errors}
          SetErrorLevel 2
          Abort "Setup could not make the directory $VxTarget."
        ${EndIf}
      @FILES@
        SetOutPath "$VxTarget"
        File "/oname=@MANIFEST@" "@MANIFEST_SOURCE@"
        WriteUninstaller "$VxTarget\\@UNINSTALLER@"
        ${If} ${Errors}
          SetErrorLevel 2
          Abort "Setup could not write every file into $VxTarget."
        ${EndIf}
        ${If} $VxNew != ""
          ; No folder of the swap may be this process's current one.
          SetOutPath "$TEMP"
          ${GetParent} "$INSTDIR" $0
          GetTempFileName $VxOld "$0"
          Delete "$VxOld"
          ClearErrors
          Rename "$INSTDIR" "$VxOld"
          ${If} ${Errors}
            SetErrorLevel 2
            Abort "Setup could not replace the version in $INSTDIR (is @NAME@ running?): it is kept as it was."
          ${EndIf}
          Rename "$VxNew" "$INSTDIR"
          ${If} ${Errors}
            Rename "$VxOld" "$INSTDIR"
            SetErrorLevel 2
            Abort "Setup could not put the new version in $INSTDIR: the old one is kept."
          ${EndIf}
          StrCpy $VxNew ""
          ; The old version goes; what the user put beside it moves into the new one.
          StrCpy $VxDir $VxOld
          Call RemoveListed
          StrCpy $R0 $VxOld
          StrCpy $R1 $INSTDIR
          Call MoveLeftovers
          Call RemoveListed
          Delete "$VxOld\\@MANIFEST@"
          Delete "$VxOld\\@UNINSTALLER@"
          RMDir "$VxOld"
          ClearErrors
        ${EndIf}
        ; The shortcuts have the application's name, unless another application's has it already.
        ReadRegStr $1 SHCTX "@KEY@" "StartMenuShortcut"
        ReadRegStr $2 SHCTX "@KEY@" "DesktopShortcut"
        ; (A value that is not there sets the error flag.)
        ClearErrors
        ${If} $1 == ""
          StrCpy $1 "$SMPROGRAMS\\@NAME@.lnk"
          ${If} ${FileExists} "$1"
            StrCpy $1 "$SMPROGRAMS\\@NAME@ (@OWNER@).lnk"
          ${EndIf}
        ${EndIf}
        CreateShortcut "$1" "$INSTDIR\\@EXE@" "" "$INSTDIR\\@EXE@" 0
        ${If} $2 != ""
          Delete "$2"
          StrCpy $2 ""
        ${EndIf}
      @DESKTOP@
      @DESKTOP_INSTALL@        WriteRegStr SHCTX "@KEY@" "DisplayName" "@NAME@"
        WriteRegStr SHCTX "@KEY@" "DisplayVersion" "@VERSION@"
        WriteRegStr SHCTX "@KEY@" "Publisher" "@VENDOR@"
        WriteRegStr SHCTX "@KEY@" "DisplayIcon" "$INSTDIR\\@EXE@"
        WriteRegStr SHCTX "@KEY@" "InstallLocation" "$INSTDIR"
        WriteRegStr SHCTX "@KEY@" "UninstallString" "$\\"$INSTDIR\\@UNINSTALLER@$\\""
        WriteRegStr SHCTX "@KEY@" "QuietUninstallString" "$\\"$INSTDIR\\@UNINSTALLER@$\\" /S"
        WriteRegStr SHCTX "@KEY@" "StartMenuShortcut" "$1"
        ${If} $2 != ""
          WriteRegStr SHCTX "@KEY@" "DesktopShortcut" "$2"
        ${Else}
          DeleteRegValue SHCTX "@KEY@" "DesktopShortcut"
          ClearErrors
        ${EndIf}
        WriteRegDWORD SHCTX "@KEY@" "EstimatedSize" @SIZE_KB@
        WriteRegDWORD SHCTX "@KEY@" "NoModify" 1
        WriteRegDWORD SHCTX "@KEY@" "NoRepair" 1
        ${If} ${Errors}
          SetErrorLevel 2
          Abort "Setup could not register @NAME@ for uninstalling."
        ${EndIf}
      SectionEnd

      ; Deletes the files in $R5 whose names match $R6, but never a link (Wine deletes what a link
      ; to a file points to) nor a folder.
      Function un.DeleteMatching
        FindFirst $R7 $R8 "$R5\\$R6"
        ${DoWhile} $R8 != ""
          StrCpy $R0 "$R5\\$R8"
          Call un.IsLink
          ${If} $R1 <> 1
          ${AndIfNot} ${FileExists} "$R0\\*.*"
            Delete "$R0"
          ${EndIf}
          FindNext $R7 $R8
        ${Loop}
        FindClose $R7
      FunctionEnd

      ; The launcher's class-data cache files in a folder, by their kinds: archives,
      ; configurations and class lists, their stamps, the image each serves, failure and
      ; creation markers, and temporary files.
      !macro VX_REMOVE_CACHE_FILES DIR PREFIX
        StrCpy $R5 "${DIR}"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.jsa"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.aot"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.aotconf"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.classlist"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.image"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.stamp"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.failed"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.creating"
        !insertmacro VX_DELETE_MATCHING "${PREFIX}.tmp"
      !macroend
      !macro VX_DELETE_MATCHING PATTERN
        StrCpy $R6 "${PATTERN}"
        Call un.DeleteMatching
      !macroend

      Section "un.@NAME@"
        SectionIn RO
        StrCpy $VxDir $INSTDIR
        Call un.RemoveListed
        Delete "$INSTDIR\\@MANIFEST@"
        Delete "$INSTDIR\\@UNINSTALLER@"
        RMDir "$INSTDIR"
        ReadRegStr $1 SHCTX "@KEY@" "StartMenuShortcut"
        ReadRegStr $2 SHCTX "@KEY@" "DesktopShortcut"
        ${If} $1 != ""
          Delete "$1"
        ${EndIf}
        ${If} $2 != ""
          Delete "$2"
        ${EndIf}
        ; The class-data cache is the launcher's, made on the first start for the user who uninstalls:
        ; its files in its own folder, and those that launchers kept beside the application's data
        ; before (named after a 16-digit hash), never a link's target.
        SetShellVarContext current
        StrCpy $R0 "$LOCALAPPDATA\\@NAME@"
        Call un.IsLink
        ${If} $R1 <> 1
          StrCpy $R0 "$LOCALAPPDATA\\@NAME@\\ClassData"
          Call un.IsLink
          ${If} $R1 <> 1
            !insertmacro VX_REMOVE_CACHE_FILES "$LOCALAPPDATA\\@NAME@\\ClassData" "*"
            RMDir "$LOCALAPPDATA\\@NAME@\\ClassData"
          ${EndIf}
          !insertmacro VX_REMOVE_CACHE_FILES "$LOCALAPPDATA\\@NAME@" "????????????????*"
          RMDir "$LOCALAPPDATA\\@NAME@"
        ${EndIf}
      @DESKTOP_CACHES@
        SetShellVarContext @CONTEXT@
      @DESKTOP_UNINSTALL@
        ; The key is this application's when it names this folder.
        ReadRegStr $1 SHCTX "@KEY@" "InstallLocation"
        ${If} $1 == ""
        ${OrIf} $1 == $INSTDIR
          DeleteRegKey SHCTX "@KEY@"
        ${EndIf}
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
   * @param signScripts the scripts that sign the uninstaller (given its path) and the setup
   *     program, or null without a sign command
   */
  static String render(InstallerPlan plan, ImageFiles files, Path manifest, Path output,
      SignScripts signScripts) {
    InstallerRequest request = plan.request();
    boolean machine = request.scope() == InstallScope.MACHINE;
    boolean x64 = request.target().equals("windows-x64");
    String name = text(plan.name());
    Map<String, String> values = new LinkedHashMap<>();
    values.put("NAME", name);
    values.put("ID", text(plan.appId()));
    values.put("OWNER", text(shortcutOwner(plan)));
    values.put("VERSION", text(plan.version()));
    values.put("VERSION4", plan.fourPartVersion());
    values.put("TARGET", x64 ? "amd64-unicode" : "x86-unicode");
    values.put("LEVEL", machine ? "admin" : "user");
    values.put("CONTEXT", machine ? "all" : "current");
    values.put("ROOT_KEY", machine ? "HKLM" : "HKCU");
    values.put("OUTFILE", text(output.toString()));
    values.put("INSTALL_DIR", (machine ? (x64 ? "$PROGRAMFILES64" : "$PROGRAMFILES")
        : "$LOCALAPPDATA\\Programs") + "\\" + text(plan.appId()));
    values.put("KEY", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + plan.appId());
    String icon = request.icon() == null ? null : text(request.icon().toAbsolutePath().toString());
    values.put("ICON", icon == null ? ""
        : "Icon \"" + icon + "\"\nUninstallIcon \"" + icon + "\"");
    values.put("VENDOR", text(request.vendor() == null ? "" : request.vendor()));
    values.put("SIGN", signScripts == null ? "" : signScripts.lines());
    values.put("MANIFEST", MANIFEST);
    values.put("MANIFEST_SOURCE", text(manifest.toAbsolutePath().toString()));
    values.put("UNINSTALLER", UNINSTALLER);
    values.put("EXE", text(plan.name() + ".exe"));
    values.put("DESKTOP", request.desktopShortcut()
        ? "  StrCpy $2 \"$DESKTOP\\" + name + ".lnk\"\n"
            + "  ${If} ${FileExists} \"$2\"\n"
            + "    StrCpy $2 \"$DESKTOP\\" + name + " (" + text(shortcutOwner(plan)) + ").lnk\"\n"
            + "  ${EndIf}\n"
            + "  CreateShortcut \"$2\" \"$INSTDIR\\" + name + ".exe\" \"\" \"$INSTDIR\\" + name
            + ".exe\" 0"
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
   * The manifest's lines: the id, every file, then every directory (with a '\' at its end)
   * deepest first, the order in which they can be removed.
   */
  static List<String> manifestLines(String appId, ImageFiles files) {
    List<String> lines = new java.util.ArrayList<>();
    lines.add(":app-id=" + appId);
    for (ImageFiles.Entry file : files.files()) {
      lines.add(file.relative("\\"));
    }
    List<ImageFiles.Entry> directories = files.directories();
    for (int i = directories.size() - 1; i >= 0; i--) {
      lines.add(directories.get(i).relative("\\") + "\\");
    }
    return lines;
  }

  // Who tells two shortcuts of one name apart: the vendor as a file name can hold it, or the id.
  private static String shortcutOwner(InstallerPlan plan) {
    String vendor = plan.request().vendor() == null ? ""
        : plan.request().vendor().replaceAll("[<>:\"/\\\\|?*\\p{Cntrl}]", " ")
            .replaceAll(" +", " ").strip();
    return vendor.isEmpty() || vendor.endsWith(".") ? plan.appId() : vendor;
  }

  private static String fileLines(ImageFiles files) {
    StringBuilder lines = new StringBuilder();
    for (ImageFiles.Entry directory : files.directories()) {
      lines.append("  CreateDirectory \"$VxTarget\\").append(text(directory.relative("\\")))
          .append("\"\n");
    }
    String current = null;
    for (ImageFiles.Entry file : files.files()) {
      String directory = String.join("\\", file.parts().subList(0, file.parts().size() - 1));
      if (!directory.equals(current)) {
        lines.append("  SetOutPath \"$VxTarget")
            .append(directory.isEmpty() ? "" : "\\" + text(directory)).append("\"\n");
        current = directory;
      }
      lines.append("  File \"").append(text(file.source().toAbsolutePath().toString()))
          .append("\"\n");
    }
    return lines.toString();
  }

  /** A value in a double-quoted string of the script: '$' and '"' escaped. */
  static String text(String value) {
    return value.replace("$", "$$").replace("\"", "$\\\"");
  }
}
