package org.vantorix.image.installer;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import org.vantorix.image.base.Guard;

/**
 * Writes the Debian package of a plan with dpkg-deb: the image in {@code /opt/<name>}, the
 * command {@code /usr/bin/<name>}, a desktop entry and the icon in the sizes of the icon theme.
 */
final class DebianPackage {

  // lintian's limit for a line of the long description.
  private static final int DESCRIPTION_WIDTH = 80;
  private static final Set<PosixFilePermission> DIRECTORY = PosixFilePermissions.fromString(
      "rwxr-xr-x");
  private static final Set<PosixFilePermission> PROGRAM = DIRECTORY;
  private static final Set<PosixFilePermission> DATA = PosixFilePermissions.fromString("rw-r--r--");

  // The package holds /opt/<name> but not /opt itself (see DebArchive).
  private static final String PREINST = "#!/bin/sh\n"
      + "set -e\n"
      + "# /opt is the system's: made when it is missing, never removed with this package.\n"
      + "if [ ! -d \"$DPKG_ROOT/opt\" ]; then\n"
      + "  mkdir -m 755 \"$DPKG_ROOT/opt\"\n"
      + "fi\n";

  private DebianPackage() {}

  /** Debian's name for the target's processor. */
  static String architecture(String target) {
    return switch (target) {
      case "linux-x64" -> "amd64";
      default -> throw new IllegalArgumentException(target);
    };
  }

  static void write(InstallerPlan plan, Path image, Path work, Path part, Guard guard)
      throws IOException {
    InstallerRequest request = plan.request();
    String name = plan.name();
    String id = plan.appId();
    Path staging = Files.createDirectory(work.resolve("root"));
    Files.setPosixFilePermissions(staging, DIRECTORY);
    Path opt = directory(staging, "opt/" + name);
    ImageFiles files = ImageFiles.walk(image);
    for (ImageFiles.Entry entry : files.directories()) {
      directory(opt, entry.relative("/"));
    }
    for (ImageFiles.Entry entry : files.files()) {
      Path target = opt.resolve(entry.relative("/"));
      if (entry.link()) {
        Files.createSymbolicLink(target, Files.readSymbolicLink(entry.source()));
      } else {
        Files.copy(entry.source(), target, LinkOption.NOFOLLOW_LINKS);
        Files.setPosixFilePermissions(target,
            Files.isExecutable(entry.source()) ? PROGRAM : DATA);
      }
    }
    Files.createSymbolicLink(directory(staging, "usr/bin").resolve(name),
        Path.of("/opt", name, name));
    for (Desktop.Launcher launcher : request.desktop().launchers()) {
      Files.createSymbolicLink(staging.resolve("usr/bin").resolve(launcher.name()),
          Path.of("/opt", name, launcher.name()));
    }

    // A command-line application gets no desktop entry: started from the menu, it would
    // print into a terminal window that closes as soon as it ends.
    if (!request.console()) {
      boolean icon = request.icon() != null;
      if (icon) {
        for (Map.Entry<Integer, byte[]> frame : IconFrames.forLinux(request.icon()).entrySet()) {
          if (IconFrames.THEME_SIDES.contains(frame.getKey())) {
            int side = frame.getKey();
            file(directory(staging, "usr/share/icons/hicolor/" + side + "x" + side + "/apps")
                .resolve(id + ".png"), frame.getValue());
          }
        }
      }
      for (DebianDesktop.Entry entry : DebianDesktop.entries(plan)) {
        file(directory(staging, "usr/share/applications").resolve(entry.fileName()),
            DesktopEntry.of(plan, icon, entry).getBytes(StandardCharsets.UTF_8));
      }
    }
    // The file types are the system's to know even when no entry opens them from the menu.
    String mimeInfo = DebianDesktop.mimeInfo(plan, request.icon() != null && !request.console());
    if (mimeInfo != null) {
      file(directory(staging, "usr/share/mime/packages").resolve(id + ".xml"),
          mimeInfo.getBytes(StandardCharsets.UTF_8));
    }
    Path doc = directory(staging, "usr/share/doc/" + id);
    file(doc.resolve("copyright"), copyright(plan).getBytes(StandardCharsets.UTF_8));
    // A package version with a Debian revision has a Debian changelog.
    file(doc.resolve(plan.packageVersion().contains("-") ? "changelog.Debian.gz" : "changelog.gz"),
        gzip(changelog(plan)));
    file(directory(staging, "usr/share/lintian/overrides").resolve(id),
        lintianOverrides(plan).getBytes(StandardCharsets.UTF_8));

    Path control = directory(staging, "DEBIAN").resolve("control");
    file(control, control(plan, image, files.bytes()).getBytes(StandardCharsets.UTF_8));
    Path preinst = control.resolveSibling("preinst");
    file(preinst, PREINST.getBytes(StandardCharsets.UTF_8));
    Files.setPosixFilePermissions(preinst, PROGRAM);

    Installers.build(List.of(plan.tool().toString(), "--root-owner-group", "-Zgzip", "--build",
        staging.toString(), part.toString()), work, guard, "dpkg-deb");
    DebArchive.dropSystemDirectory(part);
  }

  static String control(InstallerPlan plan, Path image, long bytes) {
    InstallerRequest request = plan.request();
    Set<String> modules = new TreeSet<>(request.modules());
    modules.addAll(RuntimeModules.of(image));
    return "Package: " + plan.appId() + "\n"
        + "Version: " + plan.packageVersion() + "\n"
        + "Architecture: " + architecture(request.target()) + "\n"
        + "Maintainer: " + request.vendor().strip() + " <" + request.vendorEmail() + ">\n"
        + "Installed-Size: " + (bytes + 1023) / 1024 + "\n"
        + "Depends: " + String.join(", ", DebianDepends.of(modules)) + "\n"
        + "Section: misc\n"
        + "Priority: optional\n"
        + "Description: " + synopsis(plan) + "\n"
        + wrapped(plan.name() + " " + plan.version() + ", with the Java runtime it runs on, in /opt/"
            + plan.name() + ".");
  }

  /** The long description's lines: a blank, then the words, within lintian's width. */
  static String wrapped(String text) {
    StringBuilder lines = new StringBuilder();
    StringBuilder line = new StringBuilder();
    for (String word : text.split(" +")) {
      if (line.length() > 0 && 1 + line.length() + 1 + word.length() > DESCRIPTION_WIDTH) {
        lines.append(' ').append(line).append('\n');
        line.setLength(0);
      }
      line.append(line.length() > 0 ? " " : "").append(word);
    }
    return lines.append(' ').append(line).append('\n').toString();
  }

  // Debian's synopsis says what the package is and never just repeats its name.
  private static String synopsis(InstallerPlan plan) {
    String description = plan.description();
    return description.equalsIgnoreCase(plan.name()) || description.equalsIgnoreCase(plan.appId())
        ? "Java application " + plan.name() : description;
  }

  // The package carries the image byte for byte, as it was built and tested: its binaries are
  // stripped or not as the build made them, and its jars are its own. Third-party packages belong
  // in /opt; the archive's rules against it do not apply.
  private static String lintianOverrides(InstallerPlan plan) {
    String id = plan.appId();
    return "# The application image, installed as it was built, with its own jars.\n"
        + id + ": dir-or-file-in-opt\n"
        + id + ": unstripped-binary-or-object [opt/" + plan.name() + "/*]\n"
        + id + ": jar-not-in-usr-share [opt/" + plan.name() + "/*]\n"
        + "# /opt is the system's; the package holds only what is in it.\n"
        + id + ": missing-intermediate-directory [opt/]\n"
        + "# A package made for its users, never uploaded to the archive.\n"
        + id + ": initial-upload-closes-no-bugs\n";
  }

  private static String copyright(InstallerPlan plan) {
    return "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        + "Upstream-Name: " + plan.name() + "\n\n"
        + "Files: *\n"
        + "Copyright: " + (plan.request().copyright() == null
            ? plan.request().vendor().strip() : plan.request().copyright().strip()) + "\n"
        + "License: custom\n"
        + " See the terms that came with " + plan.name() + ".\n";
  }

  private static String changelog(InstallerPlan plan) {
    return plan.appId() + " (" + plan.packageVersion() + ") unstable; urgency=low\n\n"
        + "  * " + plan.name() + " " + plan.version() + ".\n\n"
        + " -- " + plan.request().vendor().strip() + " <" + plan.request().vendorEmail() + ">  "
        + "Thu, 01 Jan 1970 00:00:00 +0000\n";
  }

  // A gzip member of best compression, said so in its header (XFL 2), with neither a file name
  // nor a time: the same input gives the same package.
  private static byte[] gzip(String text) {
    byte[] data = text.getBytes(StandardCharsets.UTF_8);
    java.io.ByteArrayOutputStream bytes = new java.io.ByteArrayOutputStream();
    bytes.writeBytes(new byte[] {0x1f, (byte) 0x8b, 8, 0, 0, 0, 0, 0, 2, 3});
    java.util.zip.Deflater deflater =
        new java.util.zip.Deflater(java.util.zip.Deflater.BEST_COMPRESSION, true);
    deflater.setInput(data);
    deflater.finish();
    byte[] buffer = new byte[4096];
    while (!deflater.finished()) {
      bytes.write(buffer, 0, deflater.deflate(buffer));
    }
    deflater.end();
    java.util.zip.CRC32 crc = new java.util.zip.CRC32();
    crc.update(data);
    ByteBuffer trailer = ByteBuffer.allocate(8).order(ByteOrder.LITTLE_ENDIAN);
    trailer.putInt((int) crc.getValue()).putInt(data.length);
    bytes.writeBytes(trailer.array());
    return bytes.toByteArray();
  }

  private static Path directory(Path parent, String relative) throws IOException {
    Path directory = parent;
    for (String part : relative.split("/")) {
      directory = directory.resolve(part);
      if (!Files.isDirectory(directory, LinkOption.NOFOLLOW_LINKS)) {
        Files.createDirectory(directory);
        Files.setPosixFilePermissions(directory, DIRECTORY);
      }
    }
    return directory;
  }

  private static void file(Path path, byte[] data) throws IOException {
    Files.write(path, data);
    Files.setPosixFilePermissions(path, DATA);
  }
}
