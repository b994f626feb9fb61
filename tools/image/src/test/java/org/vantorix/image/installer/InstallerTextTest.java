package org.vantorix.image.installer;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.vantorix.image.Fixtures;

/** The texts the installers are built from: the NSIS script and the Debian control file. */
class InstallerTextTest {
  @TempDir Path work;

  private InstallerPlan plan(InstallerKind kind, InstallScope scope, String vendor, String sign) {
    InstallerRequest request =
        new InstallerRequest(kind, work.resolve("Orbit"), "Orbit", "2.5", vendor, null, null, null,
            scope, true, "dev@orbit.example", null, sign,
            kind == InstallerKind.EXE ? "windows-x64" : "linux-x64", Set.of("java.desktop"), work,
            List.of(), null, null, false, null);
    return new InstallerPlan(request, "2.5", "orbit", "Orbit", Path.of("/usr/bin/tool"),
        work.resolve("out"));
  }

  @Test
  void scriptForTheMachineWithValuesEscaped() throws Exception {
    Path image = work.resolve("Orbit");
    Fixtures.write(image.resolve("Orbit.exe"), "MZ");
    Fixtures.write(image.resolve("app/main.jar"), "PK");
    ImageFiles files = ImageFiles.walk(image);
    String script =
        NsisScript.render(plan(InstallerKind.EXE, InstallScope.MACHINE, "Dollar $ \"Works\"",
            "sign {}"), files, work.resolve("manifest.txt"), work.resolve("setup.exe"),
            new SignScripts(work.resolve("u.sh"), work.resolve("s.sh")));
    assertTrue(script.contains("RequestExecutionLevel admin\n"), script);
    assertTrue(script.contains("InstallDir \"$PROGRAMFILES64\\orbit\"\n"), script);
    assertTrue(script.contains("InstallDirRegKey HKLM \"Software\\Microsoft\\Windows\\"
        + "CurrentVersion\\Uninstall\\orbit\" \"InstallLocation\"\n"), script);
    assertTrue(script.contains("VIProductVersion 2.5.0.0\n"), script);
    assertTrue(script.contains("\"CompanyName\" \"Dollar $$ $\\\"Works$\\\"\"\n"), script);
    assertTrue(script.contains("!uninstfinalize `sh '" + work.resolve("u.sh") + "' '%1'` = 0\n"
        + "!finalize `sh '" + work.resolve("s.sh") + "'` = 0\n"), script);
    assertTrue(script.contains("    StrCpy $2 \"$DESKTOP\\Orbit (Dollar $$ Works).lnk\"\n"), script);
    assertTrue(script.contains("  CreateDirectory \"$VxTarget\\app\"\n"), script);
    assertTrue(script.contains("  SetOutPath \"$VxTarget\\app\"\n  File \""
        + image.resolve("app/main.jar") + "\"\n"), script);
    assertFalse(script.contains("@"), "a placeholder is left: " + script);
    assertEquals(List.of(":app-id=orbit", "Orbit.exe", "app\\main.jar", "app\\"),
        NsisScript.manifestLines("orbit", files));
  }

  @Test
  void scriptForTheUser() throws Exception {
    Files.createDirectories(work.resolve("Orbit"));
    String script =
        NsisScript.render(plan(InstallerKind.EXE, InstallScope.USER, null, null),
            ImageFiles.walk(work.resolve("Orbit")), work.resolve("m"), work.resolve("s.exe"), null);
    assertTrue(script.contains("RequestExecutionLevel user\n"), script);
    assertTrue(script.contains("InstallDir \"$LOCALAPPDATA\\Programs\\orbit\"\n"), script);
    assertFalse(script.contains("!finalize"), script);
  }

  @Test
  void debianControlFile() {
    assertEquals(
        "Package: orbit\n"
            + "Version: 2.5\n"
            + "Architecture: amd64\n"
            + "Maintainer: Orbit Works <dev@orbit.example>\n"
            + "Installed-Size: 3\n"
            + "Depends: libasound2, libc6, libfreetype6, libx11-6, libxext6, libxi6, libxrender1,"
            + " libxtst6, zlib1g\n"
            + "Section: misc\n"
            + "Priority: optional\n"
            + "Description: Java application Orbit\n"
            + " Orbit 2.5, with the Java runtime it runs on, in /opt/Orbit.\n",
        DebianPackage.control(plan(InstallerKind.DEB, InstallScope.USER, " Orbit Works ", null),
            work.resolve("Orbit"), 2049));
  }
}
