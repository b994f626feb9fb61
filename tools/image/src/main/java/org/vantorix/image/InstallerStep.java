package org.vantorix.image;

import java.nio.file.Path;
import java.util.List;
import java.util.Set;
import org.vantorix.image.installer.InstallScope;
import org.vantorix.image.installer.InstallerKind;
import org.vantorix.image.installer.InstallerPlan;
import org.vantorix.image.installer.InstallerRequest;
import org.vantorix.image.installer.Installers;

/** The installer options of the command line, turned into a checked installer plan. */
final class InstallerStep {

  static final List<String> VALUES =
      List.of("installer", "makensis", "install-scope", "app-id", "vendor-email", "installer-dir");
  static final List<String> FLAGS = List.of("desktop-shortcut");

  private InstallerStep() {}

  /** The installer plan, or null when no --installer is given; checks, writes nothing. */
  static InstallerPlan plan(Options options, Plan image) {
    String kind = options.value("installer");
    if (kind == null) {
      for (String name : VALUES) {
        if (options.value(name) != null) {
          throw Refusal.of("--%s goes with --installer exe or --installer deb", name);
        }
      }
      for (String name : FLAGS) {
        if (options.flag(name)) {
          throw Refusal.of("--%s goes with --installer exe", name);
        }
      }
      return null;
    }
    String scope = options.value("install-scope");
    String icon = options.value("icon");
    String directory = options.value("installer-dir");
    Set<String> modules =
        image.runtime() instanceof Plan.Linked linked ? Set.copyOf(linked.modules()) : Set.of();
    String makensis = options.value("makensis");
    return Installers.plan(
        new InstallerRequest(
            InstallerKind.parse(kind),
            image.output(),
            options.value("name"),
            options.value("version"),
            options.value("vendor"),
            options.value("description"),
            icon == null ? null : Path.of(icon).toAbsolutePath(),
            options.value("app-id"),
            scope == null ? InstallScope.USER : InstallScope.parse(scope),
            options.flag("desktop-shortcut"),
            options.value("vendor-email"),
            makensis == null ? null : Path.of(makensis).toAbsolutePath(),
            options.value("sign-command"),
            image.target().label,
            modules,
            directory == null
                ? image.output().toAbsolutePath().getParent()
                : Path.of(directory).toAbsolutePath()));
  }
}
