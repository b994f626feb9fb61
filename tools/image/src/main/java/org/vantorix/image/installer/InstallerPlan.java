package org.vantorix.image.installer;

import java.nio.file.Path;
import org.vantorix.image.base.Versions;

/**
 * A checked request with its defaults worked out: what {@link Installers#make} writes, with no
 * check left to fail on the way.
 *
 * @param request the request as given
 * @param version the version as it is given
 * @param appId the registry key name (setup program) or the package name (Debian)
 * @param description one line about the application
 * @param tool the program that builds the installer: makensis or dpkg-deb
 * @param output the installer file to write
 */
public record InstallerPlan(
    InstallerRequest request,
    String version,
    String appId,
    String description,
    Path tool,
    Path output) {

  public String name() {
    return request.name();
  }

  /** The Debian package's version: the one given for it, else the application's. */
  public String packageVersion() {
    return request.packageVersion() == null ? version : request.packageVersion();
  }

  /** The version with as many zeros added as a Windows version resource needs (four numbers). */
  public String fourPartVersion() {
    return Versions.fourParts(version);
  }
}
