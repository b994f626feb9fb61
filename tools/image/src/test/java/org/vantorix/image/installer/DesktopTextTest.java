package org.vantorix.image.installer;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import org.junit.jupiter.api.Test;
import org.vantorix.image.base.Refusal;

/** What the installers write for the desktop description: script lines and Debian files. */
class DesktopTextTest {
  private static final Desktop DESKTOP = new Desktop(
      List.of(new Desktop.Launcher("Orbit View", false), new Desktop.Launcher("orbit-cli", true)),
      List.of(new Desktop.FileType("orb", "application/x-orbit", "Orbit"),
          new Desktop.FileType("orbx", "application/x-orbit", "Orbit"),
          new Desktop.FileType("view", "text/x-view", "Orbit View")),
      List.of("orbit"), List.of("Orbit"));

  private static InstallerPlan plan(InstallerKind kind) {
    InstallerRequest request = new InstallerRequest(kind, Path.of("/tmp/Orbit"), "Orbit", "2.5",
        "Orbit Works", null, null, null, InstallScope.USER, false, "dev@orbit.example", null, null,
        kind == InstallerKind.EXE ? "windows-x64" : "linux-x64", Set.of(), Path.of("/tmp"),
        List.of(), DESKTOP);
    return new InstallerPlan(request, "2.5", "orbit", "Orbit", Path.of("/usr/bin/tool"),
        Path.of("/tmp/out"));
  }

  @Test
  void setupRegistersOnlyWhatIsFreeAndRemovesWhatItSet() {
    InstallerPlan plan = plan(InstallerKind.EXE);
    String install = NsisDesktop.install(plan, "KEY");
    assertTrue(install.contains("  CreateShortcut \"$SMPROGRAMS\\Orbit View.lnk\" \"$INSTDIR\\Orbit"
        + " View.exe\" \"\" \"$INSTDIR\\Orbit View.exe\" 0\n"), install);
    assertTrue(!install.contains("orbit-cli.lnk"), install);
    assertTrue(install.contains("  WriteRegStr SHCTX \"Software\\Classes\\orbit.view\\shell\\open\\"
        + "command\" \"\" \"$\\\"$INSTDIR\\Orbit View.exe$\\\" $\\\"%1$\\\"\"\n"), install);
    assertTrue(install.contains("  ReadRegStr $0 SHCTX \"Software\\Classes\\.orb\" \"\"\n"
        + "  ${If} $0 == \"\"\n"
        + "  ${OrIf} $0 == \"orbit.orb\"\n"
        + "    WriteRegStr SHCTX \"Software\\Classes\\.orb\" \"\" \"orbit.orb\"\n"
        + "    WriteRegStr SHCTX \"KEY\" \"VantorixDefault.orb\" \"1\"\n"
        + "  ${EndIf}\n"), install);
    assertTrue(install.contains("WriteRegStr SHCTX \"Software\\Classes\\orbit\" \"URL Protocol\""
        + " \"\""), install);
    assertTrue(install.endsWith("  ClearErrors\n"), install);
    String uninstall = NsisDesktop.uninstall(plan, "KEY");
    assertTrue(uninstall.contains("  ReadRegStr $0 SHCTX \"KEY\" \"VantorixContentType.orb\"\n"
        + "  ReadRegStr $1 SHCTX \"Software\\Classes\\.orb\" \"Content Type\"\n"
        + "  ${If} $0 == \"1\"\n"
        + "  ${AndIf} $1 == \"application/x-orbit\"\n"
        + "    DeleteRegValue SHCTX \"Software\\Classes\\.orb\" \"Content Type\"\n"), uninstall);
    assertTrue(uninstall.contains("  DeleteRegKey /ifempty SHCTX \"Software\\Classes\\.orb\"\n"),
        uninstall);
    assertTrue(uninstall.contains("  ${If} $0 == \"1\"\n"
        + "    DeleteRegKey SHCTX \"Software\\Classes\\orbit\"\n"), uninstall);
    // The other launchers' caches go by their files' kinds, as the primary's: never a whole folder.
    String caches = NsisDesktop.uninstallCaches(plan);
    assertTrue(caches.contains(
        "!insertmacro VX_REMOVE_CACHE_FILES \"$LOCALAPPDATA\\orbit-cli\\ClassData\" \"*\""), caches);
    assertTrue(!caches.contains("RMDir /r"), caches);
  }

  @Test
  void debianEntriesOfOneNameAreRefused() {
    InstallerRequest request = new InstallerRequest(InstallerKind.DEB, Path.of("/tmp/Orbit"),
        "Orbit", "2.5", "Orbit Works", null, null, null, InstallScope.USER, false,
        "dev@orbit.example", null, null, "linux-x64", Set.of(), Path.of("/tmp"), List.of(),
        new Desktop(List.of(new Desktop.Launcher("Orbit View", false),
            new Desktop.Launcher("orbit-view", false)), List.of(), List.of(), List.of()));
    Refusal refusal = assertThrows(Refusal.class, () -> DebianDesktop.check(new InstallerPlan(
        request, "2.5", "orbit", "Orbit", Path.of("/usr/bin/tool"), Path.of("/tmp/out"))));
    assertEquals("the launchers Orbit View and orbit-view would have the same desktop entry"
        + " orbit-orbit-view.desktop: rename one", refusal.getMessage());
  }

  @Test
  void debianEntriesAndMimeInfo() {
    InstallerPlan plan = plan(InstallerKind.DEB);
    List<DebianDesktop.Entry> entries = DebianDesktop.entries(plan);
    assertEquals(List.of(
        new DebianDesktop.Entry("orbit.desktop", "Orbit", "%f", List.of("application/x-orbit"),
            false),
        new DebianDesktop.Entry("orbit-links.desktop", "Orbit", "%u",
            List.of("x-scheme-handler/orbit"), true),
        new DebianDesktop.Entry("orbit-orbit-view.desktop", "Orbit View", "%f",
            List.of("text/x-view"), false)), entries);
    assertEquals("\"/usr/bin/Orbit View\" %f", DebianDesktop.exec("/usr/bin/Orbit View", "%f"));
    assertEquals("\"/opt/a\\\\\\\\b\\\\$c\"", DebianDesktop.exec("/opt/a\\b$c", null));
    assertEquals("/opt/100%%", DebianDesktop.exec("/opt/100%", null));
    assertEquals("MimeType=x-scheme-handler/orbit;\nNoDisplay=true\n",
        DebianDesktop.extraLines(entries.get(1)));
    assertEquals("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        + "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        + "  <mime-type type=\"application/x-orbit\">\n"
        + "    <comment>Orbit file</comment>\n"
        + "    <glob pattern=\"*.orb\"/>\n"
        + "    <glob pattern=\"*.orbx\"/>\n"
        + "  </mime-type>\n"
        + "  <mime-type type=\"text/x-view\">\n"
        + "    <comment>Orbit file</comment>\n"
        + "    <glob pattern=\"*.view\"/>\n"
        + "  </mime-type>\n"
        + "</mime-info>\n", DebianDesktop.mimeInfo(plan, false));
  }
}
