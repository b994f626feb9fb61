package org.vantorix.image.installer;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import javax.imageio.ImageIO;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.vantorix.image.Fixtures;
import org.vantorix.image.base.Guard;
import org.vantorix.image.base.Host;
import org.vantorix.image.base.Refusal;

/** What the Debian package holds as packagers need it, and how it is put in place. */
class DebianPackageTest {
  @TempDir Path work;

  private InstallerRequest request(String name, String packageVersion, String copyright,
      Path icon) {
    return new InstallerRequest(InstallerKind.DEB, work.resolve("image"), name, "3.3.2",
        "Orbit Works", null, icon, null, InstallScope.USER, false, "dev@orbit.example", null, null,
        "linux-x64", Set.of(), work.resolve("out"), List.of(), copyright, packageVersion, false,
        "org-Main");
  }

  private InstallerPlan plan(String name) {
    return new InstallerPlan(request(name, null, null, null), "3.3.2", "orbit", name,
        Path.of("/usr/bin/dpkg-deb"), work.resolve("out.deb"));
  }

  @Test
  void desktopEntryQuotesTheCommandAndNamesTheWindowClass() {
    String[][] cases = {
      {"Orbit", "Exec=/usr/bin/Orbit"},
      {"Orbit Viewer", "Exec=\"/usr/bin/Orbit Viewer\""},
      {"Cost$ 100%", "Exec=\"/usr/bin/Cost\\\\$ 100%%\""},
      {"Back\\slash", "Exec=\"/usr/bin/Back\\\\\\\\slash\""},
    };
    for (String[] c : cases) {
      String entry = DesktopEntry.of(plan(c[0]), true);
      assertTrue(entry.contains("\n" + c[1] + "\n"), entry);
      assertTrue(entry.endsWith("StartupWMClass=org-Main\n"), entry);
    }
  }

  @Test
  void longDescriptionWithinLintiansWidth() {
    InstallerPlan plan = plan("Orbit Viewer Plus");
    String control = DebianPackage.control(plan, work, 0);
    String description = control.substring(control.indexOf("Description:"));
    for (String line : description.split("\n")) {
      assertTrue(line.length() <= 80, line.length() + ": " + line);
    }
    assertTrue(description.replace("\n ", " ").endsWith(" in /opt/Orbit Viewer Plus.\n"),
        description);
  }

  @Test
  void packageVersionWithARevisionOrSuffix() {
    assumeTrue(Host.onPath("dpkg-deb") != null, "dpkg-deb is not on the PATH");
    String[][] accepted = {
      {null, "orbit-viewer_3.3.2_amd64.deb"},
      {"3.3.2-1", "orbit-viewer_3.3.2-1_amd64.deb"},
      {"3.3.2+repack-1", "orbit-viewer_3.3.2+repack-1_amd64.deb"},
      {"3.3.2~rc1", "orbit-viewer_3.3.2~rc1_amd64.deb"},
      {"1:3.3.2-2", "orbit-viewer_3.3.2-2_amd64.deb"},
    };
    for (String[] c : accepted) {
      InstallerPlan plan = Installers.plan(request("Orbit Viewer", c[0], null, null));
      assertEquals(c[1], plan.output().getFileName().toString());
      assertTrue(DebianPackage.control(plan, work, 0).contains(
          "\nVersion: " + (c[0] == null ? "3.3.2" : c[0]) + "\n"));
    }
    for (String refused : List.of("3.3.20", "3.4-1", "3.3.2-", "3.3.2 1", "v3.3.2")) {
      Refusal refusal = assertThrows(Refusal.class,
          () -> Installers.plan(request("Orbit Viewer", refused, null, null)));
      assertTrue(refusal.getMessage().startsWith("--package-version " + refused + " "),
          refusal.getMessage());
    }
  }

  @Test
  void iconsThatEachTargetTakes() throws Exception {
    Path square = png(work.resolve("square.png"), 64, 64);
    assertEquals(Set.of(64), IconFrames.forLinux(square).keySet());
    assertArrayEquals(Files.readAllBytes(square), IconFrames.forLinux(square).get(64));
    Object[][] refused = {
      {png(work.resolve("wide.png"), 64, 32), "is a PNG image of 64x32 pixels: linux-x64 takes"},
      {png(work.resolve("odd.png"), 50, 50), "is a PNG image of 50x50 pixels: linux-x64 takes"},
      {Fixtures.write(work.resolve("icon.svg"), "<svg/>"), "is neither a PNG image nor an .ico"},
    };
    for (Object[] c : refused) {
      Refusal refusal = assertThrows(Refusal.class, () -> IconFrames.forLinux((Path) c[0]));
      assertTrue(refusal.getMessage().contains((String) c[1]), refusal.getMessage());
      assertTrue(refusal.getMessage().endsWith("windows-x64 and windows-x86 take an .ico file"),
          refusal.getMessage());
    }
  }

  @Test
  void packageOfCopyrightAndConsoleApplicationLeavesAPlantedLinkAlone() throws Exception {
    assumeTrue(Host.onPath("dpkg-deb") != null, "dpkg-deb is not on the PATH");
    Fixtures.write(work.resolve("image/Orbit"), "#!/bin/sh\n");
    Fixtures.write(work.resolve("image/app/main.jar"), "PK");
    InstallerRequest given = request("Orbit", "3.3.2-1", "2024 Orbit Works Ltd", null);
    InstallerRequest console = new InstallerRequest(given.kind(), given.image(), given.name(),
        given.version(), given.vendor(), given.description(), given.icon(), given.appId(),
        given.scope(), false, given.vendorEmail(), null, null, given.target(), given.modules(),
        given.outputDirectory(), given.imageFiles(), given.copyright(), given.packageVersion(), true,
        null);
    InstallerPlan plan = Installers.plan(console);
    // Another user's link where the build once wrote its file.
    Path victim = Fixtures.write(work.resolve("victim"), "mine");
    Files.createDirectories(plan.output().getParent());
    Files.createSymbolicLink(
        plan.output().resolveSibling("." + plan.output().getFileName() + ".part"), victim);
    Path scratch = Files.createDirectory(work.resolve("scratch"));
    Installers.place(plan, Installers.build(plan, given.image(), scratch, new Guard()));
    assertEquals("mine", Files.readString(victim));

    List<String> listing = Fixtures.listing(work.resolve("out"));
    assertEquals(2, listing.size(), listing.toString());
    String contents = dpkgDeb("--contents", plan.output());
    assertFalse(contents.contains(" ./opt/\n"), contents);
    assertTrue(contents.contains(" ./opt/Orbit/app/main.jar\n"), contents);
    assertTrue(contents.contains(" ./usr/share/doc/orbit/changelog.Debian.gz\n"), contents);
    assertFalse(contents.contains("applications"), contents);
    Path root = work.resolve("unpacked");
    dpkgDeb("--extract", plan.output(), root);
    assertTrue(Files.readString(root.resolve("usr/share/doc/orbit/copyright"))
        .contains("\nCopyright: 2024 Orbit Works Ltd\n"));
  }

  private static String dpkgDeb(String action, Path deb, Path... more) throws Exception {
    List<String> command = new java.util.ArrayList<>(List.of("dpkg-deb", action, deb.toString()));
    for (Path path : more) {
      command.add(path.toString());
    }
    Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
    String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
    assertEquals(0, process.waitFor(), output);
    return output;
  }

  private static Path png(Path path, int width, int height) throws Exception {
    BufferedImage image = new BufferedImage(width, height, BufferedImage.TYPE_INT_ARGB);
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    ImageIO.write(image, "png", bytes);
    return Fixtures.write(path, bytes.toByteArray());
  }
}
