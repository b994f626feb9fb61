package org.vantorix.image;

import static org.vantorix.image.Option.Group.BRANDING;
import static org.vantorix.image.Option.Group.DESKTOP;
import static org.vantorix.image.Option.Group.GENERAL;
import static org.vantorix.image.Option.Group.INSTALLERS;
import static org.vantorix.image.Option.Group.LAUNCH;
import static org.vantorix.image.Option.Group.RUNTIME;
import static org.vantorix.image.Option.Trait.DEBIAN_PACKAGE;
import static org.vantorix.image.Option.Trait.ENTRY_POINT;
import static org.vantorix.image.Option.Trait.REQUIRED;
import static org.vantorix.image.Option.Trait.SETUP_PROGRAM;

import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.Set;

/**
 * Every option of the command line, each declared once, in the order of the help: the parser, the
 * help, the checks of what goes with what, and the code that reads a value all take it from here.
 */
final class OptionTable {
  private static final List<Option> ALL = new ArrayList<>();

  static final Option.Value NAME =
      value("name", "NAME", GENERAL,
          "the application's name: NAME.exe (Windows), NAME (Linux)", REQUIRED);
  static final Option.Value INPUT =
      value("input", "DIR", GENERAL, "the directory whose files go to app/", REQUIRED);
  static final Option.Value OUTPUT =
      value("output", "DIR", GENERAL,
          "the image directory (default: NAME in the current directory)");
  static final Option.Value TARGET =
      value("target", "TARGET", GENERAL,
          "windows-x64, windows-x86 or linux-x64 (default: that of\nthe launchers found)");
  static final Option.Value LAUNCHERS =
      value("launchers", "DIR", GENERAL,
          "the directory of the launcher executables (default: the\n"
              + "tool's own directory, as in the release archive)");
  static final Option.Flag FORCE =
      flag("force", GENERAL, "replace an image that this tool wrote before");
  static final Option.Value ICON = value("icon", "FILE", GENERAL,
          "the application's icon (.ico): of the Windows executable and\n"
              + "the setup program, and of the Debian package's menu entry\n"
              + "(there also a square PNG image)");
  static final Option.Value VERSION =
      value("version", "A.B.C.D", GENERAL,
          "the version (1 to 4 numbers): of the Windows executable's\n"
              + "version resource and of both installers, which need it");
  static final Option.Value VENDOR = value("vendor", "TEXT", GENERAL,
          "the vendor: the Windows executable's company, the setup\n"
              + "program's publisher, the Debian package's maintainer");
  static final Option.Value DESCRIPTION =
      value("description", "TEXT", GENERAL,
          "one line about the application (default: NAME): the\n"
              + "Windows executable's file description, and both installers'");
  static final Option.Flag VERBOSE =
      flag("verbose", GENERAL, "also print the jdeps and jlink arguments and jlink's lines");
  static final Option.Flag HELP = flag("help", GENERAL, "this text");

  static final Option.Value MAIN_JAR =
      value("main-jar", "JAR", LAUNCH, "a jar with Main-Class in its manifest", ENTRY_POINT);
  static final Option.Value MAIN_CLASS =
      value("main-class", "CLASS", LAUNCH,
          "a main class, found in the --class-path entries", ENTRY_POINT);
  static final Option.Value MAIN_MODULE =
      value("main-module", "MOD[/CLS]", LAUNCH,
          "a main module (and its main class), found on the --module-path", ENTRY_POINT);
  static final Option.Repeated CLASS_PATH =
      repeated("class-path", "ENTRY", LAUNCH,
          "a jar or directory of the class path (repeatable, in order)");
  static final Option.Repeated MODULE_PATH =
      repeated("module-path", "ENTRY", LAUNCH,
          "a jar or directory of the module path (repeatable, in order)");
  static final Option.Repeated JAVA_OPTION =
      repeated("java-option", "OPTION", LAUNCH,
          "a JVM option, such as -Xmx1g or -Dorbit.home=$APPDIR");
  static final Option.Repeated ARGUMENT =
      repeated("argument", "ARG", LAUNCH,
          "a default argument of the application (replaced by\n"
              + "the arguments the executable is started with)");
  static final Option.Value SPLASH =
      value("splash", "IMAGE", LAUNCH,
          "a splash image (PNG, GIF, JPEG or BMP) in the input directory");
  static final Option.Repeated USER_OPTION =
      repeated("user-option", "PREFIX", LAUNCH,
          "a JVM option prefix that users may set in their own\n"
              + "options file, such as -Xmx (repeatable)");
  static final Option.Flag NO_FAST_START =
      flag("no-fast-start", LAUNCH,
          "no per-user class-data cache (by default the launcher\n"
              + "keeps one, so that later starts are faster)");
  static final Option.Flag SINGLE_INSTANCE =
      flag("single-instance", LAUNCH,
          "one instance per user and session: a later start hands\n"
              + "its arguments to the running one (which receives them\n"
              + "through vantorix-instances.jar) and ends");
  static final Option.Flag CONSOLE =
      flag("console", LAUNCH,
          "a command-line application: the console launcher\n"
              + "(Windows; default: the GUI launcher), no desktop entry\n"
              + "(Debian package)");

  static final Option.Repeated ADD_MODULES =
      repeated("add-modules", "MODULE", RUNTIME,
          "a JDK module to link besides those the application's\n"
              + "classes need and the run-time services the JDK would\n"
              + "find, such as java.sql for a driver that is loaded by\n"
              + "name (repeatable; a comma-separated list also works)");
  static final Option.Value INCLUDE_LOCALES =
      value("include-locales", "LANGS", RUNTIME,
          "keep only the locale data of these language tags, such\n"
              + "as en,de,fr-CA (jlink's locale filter; default: all)");
  static final Option.Flag ONLY_FOUND_MODULES =
      flag("only-found-modules", RUNTIME,
          "link only the modules that the application's classes\n"
              + "need and --add-modules names: no run-time services\n"
              + "(security providers, locale data, charsets, the zip\n"
              + "file system, sun.misc), for the smallest runtime");
  static final Option.Value JDK =
      value("jdk", "DIR", RUNTIME, "link from another JDK (its jlink and jmods)");
  static final Option.Value JMODS =
      value("jmods", "DIR", RUNTIME,
          "link these jmods, such as a Windows JDK's jmods\n"
              + "directory on a Linux machine");
  static final Option.Value RUNTIME_COPY =
      value("runtime", "DIR", RUNTIME,
          "copy this Java runtime instead (its bin\\jli.dll or\n"
              + "lib/libjli.so must match the launcher's machine type)");

  static final Option.Repeated LAUNCHER =
      repeated("launcher", "NAME=ENTRY", DESKTOP,
          "one more launcher, NAME.exe (GUI) or NAME, beside the\n"
              + "primary one; ENTRY is a main class (on the class path),\n"
              + "jar:FILE or module:MODULE[/CLASS] (on the module path);\n"
              + "it shares the runtime, the class path and the options\n"
              + "(unless --launcher-java-option or --launcher-argument\n"
              + "name it), and has its own app/NAME.cfg, class-data cache\n"
              + "and user options file (repeatable)");
  static final Option.Repeated CONSOLE_LAUNCHER =
      repeated("console-launcher", "SPEC", DESKTOP,
          "NAME=ENTRY as for --launcher, the console variant: no\n"
              + "shortcut and no desktop entry (repeatable)");
  static final Option.Repeated LAUNCHER_JAVA_OPTION =
      repeated("launcher-java-option", "NAME=OPT", DESKTOP,
          "a JVM option of launcher NAME alone: given for a launcher,\n"
              + "these replace the --java-option values in its config\n"
              + "file (repeatable, in order)");
  static final Option.Repeated LAUNCHER_ARGUMENT =
      repeated("launcher-argument", "NAME=ARG", DESKTOP,
          "a default argument of launcher NAME alone: given for a\n"
              + "launcher, these replace the --argument values (repeatable)");
  static final Option.Repeated FILE_ASSOCIATION =
      repeated("file-association", "SPEC", DESKTOP,
          ".EXT[=TYPE/SUB][@NAME]: the application opens files of\n"
              + "the extension: a double-click starts launcher NAME\n"
              + "(default: the primary one) with the file's path; without\n"
              + "=TYPE/SUB the MIME type is application/x-APP-EXT, APP the\n"
              + "image's name in lower case, and the tool says so\n"
              + "(repeatable; example: .orbit=application/x-orbit@Viewer)");
  static final Option.Repeated URL_SCHEME =
      repeated("url-scheme", "SPEC", DESKTOP,
          "SCHEME[@NAME]: the application opens links SCHEME:...:\n"
              + "launcher NAME (default: the primary one) gets the URL\n"
              + "(repeatable)");

  static final Option.Value COPYRIGHT =
      value("copyright", "TEXT", BRANDING, "the copyright text");
  static final Option.Value EXECUTION_LEVEL =
      value("execution-level", "LEVEL", BRANDING,
          "asInvoker (default), highestAvailable or requireAdministrator");
  static final Option.Value BRAND_TOOL =
      value("brand-tool", "PATH", BRANDING,
          "the branding tool (default: vantorix-brand.exe beside the\n"
              + "launchers on Windows; elsewhere a native vantorix-brand\n"
              + "beside the launchers or this tool, else vantorix-brand.exe\n"
              + "under Wine)");
  static final Option.Value WINE =
      value("wine", "COMMAND", BRANDING,
          "the command that runs Windows programs (default: wine,\n"
              + "then Debian's wine64 or 32-bit loader)");
  static final Option.Value SIGN_COMMAND =
      value("sign-command", "CMD", BRANDING,
          "run after branding on each Windows executable of the\n"
              + "image, through sh -c (cmd /c on Windows); {} in CMD is\n"
              + "replaced by the file's quoted path (appended when absent)");

  static final Option.Value INSTALLER_KIND =
      value("installer", "exe|deb", INSTALLERS,
          "a setup program NAME-VERSION-setup.exe (Windows targets,\n"
              + "with NSIS) or a Debian package ID_VERSION_ARCH.deb\n"
              + "(linux-x64, with dpkg-deb)");
  static final Option.Value INSTALLER_DIR =
      value("installer-dir", "DIR", INSTALLERS,
          "where the installer goes (default: the output's parent)",
          SETUP_PROGRAM, DEBIAN_PACKAGE);
  static final Option.Value APP_ID =
      value("app-id", "ID", INSTALLERS,
          "the id that stays the same across versions: the uninstall\n"
              + "registry key (default: VENDOR.NAME) or the package name\n"
              + "(default: NAME in lower case)",
          SETUP_PROGRAM, DEBIAN_PACKAGE);
  static final Option.Value INSTALL_SCOPE =
      value("install-scope", "SCOPE", INSTALLERS,
          "user (default: no elevation, into\n"
              + "%LOCALAPPDATA%\\Programs\\NAME) or machine (elevated, into\n"
              + "Program Files)",
          SETUP_PROGRAM);
  static final Option.Flag DESKTOP_SHORTCUT =
      flag("desktop-shortcut", INSTALLERS, "also a shortcut on the desktop (setup program)",
          SETUP_PROGRAM);
  static final Option.Value MAKENSIS =
      value("makensis", "PATH", INSTALLERS, "the NSIS compiler (default: makensis on the PATH)",
          SETUP_PROGRAM);
  static final Option.Value PACKAGE_VERSION =
      value("package-version", "VERSION", INSTALLERS,
          "the package's version, when it is not --version: the\n"
              + "version with a Debian revision or a suffix, such as\n"
              + "3.3.2-1 or 3.3.2+repack-1 (Debian package)",
          DEBIAN_PACKAGE);
  static final Option.Value VENDOR_EMAIL =
      value("vendor-email", "EMAIL", INSTALLERS,
          "the maintainer's address; with --vendor it makes the\n"
              + "package's Maintainer field (Debian package)",
          DEBIAN_PACKAGE);

  private OptionTable() {}

  /** Every option, in the order of the help. */
  static List<Option> all() {
    return List.copyOf(ALL);
  }

  static Optional<Option> named(String name) {
    return ALL.stream().filter(o -> o.name().equals(name)).findFirst();
  }

  /** The options that have the trait, in the table's order. */
  static List<Option> with(Option.Trait trait) {
    return ALL.stream().filter(o -> o.traits().contains(trait)).toList();
  }

  private static Option.Value value(
      String name, String argument, Option.Group group, String help, Option.Trait... traits) {
    return add(new Option.Value(name, argument, group, help, Set.of(traits)));
  }

  private static Option.Repeated repeated(
      String name, String argument, Option.Group group, String help, Option.Trait... traits) {
    return add(new Option.Repeated(name, argument, group, help, Set.of(traits)));
  }

  private static Option.Flag flag(
      String name, Option.Group group, String help, Option.Trait... traits) {
    return add(new Option.Flag(name, group, help, Set.of(traits)));
  }

  private static <T extends Option> T add(T option) {
    ALL.add(option);
    return option;
  }
}
