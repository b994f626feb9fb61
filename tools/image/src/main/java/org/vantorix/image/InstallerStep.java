package org.vantorix.image;

import static org.vantorix.image.OptionTable.APP_ID;
import static org.vantorix.image.OptionTable.CONSOLE;
import static org.vantorix.image.OptionTable.COPYRIGHT;
import static org.vantorix.image.OptionTable.INPUT;
import static org.vantorix.image.OptionTable.MAIN_CLASS;
import static org.vantorix.image.OptionTable.MAIN_JAR;
import static org.vantorix.image.OptionTable.MAIN_MODULE;
import static org.vantorix.image.OptionTable.PACKAGE_VERSION;
import static org.vantorix.image.OptionTable.DESCRIPTION;
import static org.vantorix.image.OptionTable.DESKTOP_SHORTCUT;
import static org.vantorix.image.OptionTable.ICON;
import static org.vantorix.image.OptionTable.INSTALLER_DIR;
import static org.vantorix.image.OptionTable.INSTALLER_KIND;
import static org.vantorix.image.OptionTable.INSTALL_SCOPE;
import static org.vantorix.image.OptionTable.MAKENSIS;
import static org.vantorix.image.OptionTable.NAME;
import static org.vantorix.image.OptionTable.SIGN_COMMAND;
import static org.vantorix.image.OptionTable.VENDOR;
import static org.vantorix.image.OptionTable.VENDOR_EMAIL;
import static org.vantorix.image.OptionTable.VERSION;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Set;
import org.vantorix.image.installer.InstallScope;
import org.vantorix.image.installer.InstallerKind;
import org.vantorix.image.installer.InstallerPlan;
import org.vantorix.image.installer.InstallerRequest;
import org.vantorix.image.installer.Installers;
import org.vantorix.image.base.Refusal;

/** The installer options of the command line, turned into a checked installer plan. */
final class InstallerStep {

  private InstallerStep() {}

  /** The installer plan, or null when no --installer is given; checks, writes nothing. */
  static InstallerPlan plan(Options options, Plan image) {
    String kind = options.value(INSTALLER_KIND);
    InstallerKind chosen = kind == null ? null : InstallerKind.parse(kind);
    // What the table says goes with one installer or with both.
    for (Option option : OptionTable.all()) {
      boolean exe = option.traits().contains(Option.Trait.SETUP_PROGRAM);
      boolean deb = option.traits().contains(Option.Trait.DEBIAN_PACKAGE);
      if ((exe || deb)
          && options.given(option)
          && (chosen == null || (chosen == InstallerKind.EXE ? !exe : !deb))) {
        throw Refusal.of(
            "%s goes with %s",
            option.spelled(),
            exe && deb
                ? "--installer exe or --installer deb"
                : "--installer " + (exe ? "exe" : "deb"));
      }
    }
    if (chosen == null) {
      return null;
    }
    String scope = options.value(INSTALL_SCOPE);
    String icon = options.value(ICON);
    String directory = options.value(INSTALLER_DIR);
    Set<String> modules =
        image.runtime() instanceof Plan.Linked linked ? Set.copyOf(linked.modules()) : Set.of();
    String makensis = options.value(MAKENSIS);
    return Installers.plan(
        new InstallerRequest(
            chosen,
            image.output(),
            options.value(NAME),
            options.value(VERSION),
            options.value(VENDOR),
            options.value(DESCRIPTION),
            icon == null ? null : Path.of(icon).toAbsolutePath(),
            options.value(APP_ID),
            scope == null ? InstallScope.USER : InstallScope.parse(scope),
            options.flag(DESKTOP_SHORTCUT),
            options.value(VENDOR_EMAIL),
            makensis == null ? null : Path.of(makensis).toAbsolutePath(),
            options.value(SIGN_COMMAND),
            image.target().label,
            modules,
            directory == null
                ? image.output().toAbsolutePath().getParent()
                : Path.of(directory).toAbsolutePath(),
            imageFiles(image),
            image.desktop(),
            options.value(COPYRIGHT),
            options.value(PACKAGE_VERSION),
            options.flag(CONSOLE),
            windowClass(options)));
  }

  /** The image's files and directories as the plan lays them out, '/' between names. */
  static List<String> imageFiles(Plan image) {
    List<String> files = new ArrayList<>();
    files.add(image.executable());
    files.add(OutputCheck.MARK);
    files.add("app");
    files.add("app/" + image.configName());
    for (Plan.Extra extra : image.extraLaunchers()) {
      files.add(extra.executable());
      files.add("app/" + extra.configName());
    }
    for (Trees.Copy copy : image.inputFiles()) {
      if (!copy.relative().toString().isEmpty()) {
        files.add("app/" + slashes(copy.relative()));
      }
    }
    files.add("runtime");
    if (image.runtime() instanceof Plan.Copied copied) {
      for (Trees.Copy copy : copied.files()) {
        if (!copy.relative().toString().isEmpty()) {
          files.add("runtime/" + slashes(copy.relative()));
        }
      }
    }
    return files;
  }

  private static String slashes(Path relative) {
    return relative.toString().replace(relative.getFileSystem().getSeparator(), "/");
  }

  /**
   * The class name that the desktop sees on the application's windows: the Java runtime names
   * them after the main class, with '-' for each '.'. Null when the main class is not known here
   * (a main module whose descriptor names it).
   */
  private static String windowClass(Options options) {
    String mainClass = options.value(MAIN_CLASS);
    String module = options.value(MAIN_MODULE);
    if (module != null) {
      mainClass = module.contains("/") ? module.substring(module.indexOf('/') + 1) : null;
    }
    String jar = options.value(MAIN_JAR);
    if (jar != null) {
      mainClass = Jars.read(Path.of(options.value(INPUT)).resolve(jar))
          .mainAttribute(java.util.jar.Attributes.Name.MAIN_CLASS).orElse(null);
    }
    return mainClass == null ? null : mainClass.replace('.', '-');
  }
}
