package org.vantorix.image.installer;

import java.nio.file.Path;
import java.util.List;
import java.util.Objects;
import java.util.Set;

/**
 * Everything an installer is made from, as the command line gave it. Optional values are null
 * (or empty); {@link Installers#plan} checks the request and works out the defaults.
 *
 * @param kind a setup program or a Debian package
 * @param image the finished application image
 * @param name the application's name (its launcher is {@code name.exe} or {@code name})
 * @param version the application's version: 1 to 4 numbers joined by dots
 * @param vendor the publisher (Windows) and maintainer (Debian); optional for a setup program
 * @param description one line about the application; the name when null
 * @param icon the application's {@code .ico} file (Debian: or a PNG image), or null
 * @param appId the id that stays the same across versions, or null for one derived from the
 *     vendor and the name
 * @param scope for whom a setup program installs
 * @param desktopShortcut whether a setup program also puts a shortcut on the desktop
 * @param vendorEmail the maintainer's e-mail address (Debian)
 * @param makensis the NSIS compiler, or null to look for {@code makensis} on the PATH
 * @param signCommand a command run on each Windows executable with its path added, or null
 * @param target {@code windows-x64}, {@code windows-x86} or {@code linux-x64}
 * @param modules the Java modules linked into the image's runtime (empty when not known)
 * @param outputDirectory the directory that receives the installer
 * @param imageFiles the image's files and directories as planned, relative to it, with '/'
 *     between names (those of a runtime that jlink links are not known and not listed)
 * @param desktop the launchers, file types and URL schemes the installer registers besides the
 *     primary launcher
 * @param copyright the copyright text (Debian: the copyright file), or null for the vendor
 * @param packageVersion the Debian package's version, or null for the version
 * @param console whether the application is a command-line one (Debian: no desktop entry)
 * @param windowClass the class name of the application's windows, as the desktop sees it, or
 *     null when not known
 */
public record InstallerRequest(
    InstallerKind kind,
    Path image,
    String name,
    String version,
    String vendor,
    String description,
    Path icon,
    String appId,
    InstallScope scope,
    boolean desktopShortcut,
    String vendorEmail,
    Path makensis,
    String signCommand,
    String target,
    Set<String> modules,
    Path outputDirectory,
    List<String> imageFiles,
    Desktop desktop,
    String copyright,
    String packageVersion,
    boolean console,
    String windowClass) {

  public InstallerRequest {
    Objects.requireNonNull(kind, "kind");
    Objects.requireNonNull(image, "image");
    Objects.requireNonNull(name, "name");
    Objects.requireNonNull(target, "target");
    Objects.requireNonNull(outputDirectory, "outputDirectory");
    scope = scope == null ? InstallScope.USER : scope;
    modules = modules == null ? Set.of() : Set.copyOf(modules);
    imageFiles = imageFiles == null ? List.of() : List.copyOf(imageFiles);
    desktop = desktop == null ? Desktop.NONE : desktop;
  }

  /** A request that registers nothing but the primary launcher. */
  public InstallerRequest(
      InstallerKind kind, Path image, String name, String version, String vendor,
      String description, Path icon, String appId, InstallScope scope, boolean desktopShortcut,
      String vendorEmail, Path makensis, String signCommand, String target, Set<String> modules,
      Path outputDirectory, List<String> imageFiles, String copyright, String packageVersion,
      boolean console, String windowClass) {
    this(kind, image, name, version, vendor, description, icon, appId, scope, desktopShortcut,
        vendorEmail, makensis, signCommand, target, modules, outputDirectory, imageFiles,
        Desktop.NONE, copyright, packageVersion, console, windowClass);
  }

  /** A request with the defaults of the Debian package's own options. */
  public InstallerRequest(
      InstallerKind kind, Path image, String name, String version, String vendor,
      String description, Path icon, String appId, InstallScope scope, boolean desktopShortcut,
      String vendorEmail, Path makensis, String signCommand, String target, Set<String> modules,
      Path outputDirectory, List<String> imageFiles, Desktop desktop) {
    this(kind, image, name, version, vendor, description, icon, appId, scope, desktopShortcut,
        vendorEmail, makensis, signCommand, target, modules, outputDirectory, imageFiles,
        desktop, null, null, false, null);
  }
}
