// Generated from the image tool's options table and ProjectDefaults by ParametersTest;
// do not edit (docs/maven.md says how to write it again).
package org.vantorix.maven;

import java.io.File;
import java.util.List;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugins.annotations.Parameter;

/** The image tool's options, one parameter each, in the order of its options table. */
abstract class ImageParameters extends AbstractMojo {
  /**
   * Corresponds to the {@code --name} option: the application's name: NAME.exe (Windows), NAME
   * (Linux). Default: the project's artifactId.
   */
  @Parameter(property = "vantorix.name", defaultValue = "${project.artifactId}")
  protected String name;

  /**
   * Corresponds to the {@code --input} option: the directory whose files go to app/. Default:
   * target/vantorix-input, with the project's jar and its runtime dependencies.
   */
  @Parameter(property = "vantorix.input")
  protected File input;

  /**
   * Corresponds to the {@code --output} option: the image directory (default: NAME in the current
   * directory). Default: target/NAME.
   */
  @Parameter(property = "vantorix.output")
  protected File output;

  /**
   * Corresponds to the {@code --target} option: windows-x64, windows-x86 or linux-x64 (default:
   * that of the launchers found).
   */
  @Parameter(property = "vantorix.target")
  protected String target;

  /**
   * Corresponds to the {@code --launchers} option: the directory of the launcher executables
   * (default: the tool's own directory, as in the release archive). Default: the launchers that the
   * plugin carries, for the target.
   */
  @Parameter(property = "vantorix.launchers")
  protected File launchers;

  /**
   * Corresponds to the {@code --force} option: replace an image that this tool wrote before.
   * Default: true: a build replaces the image that it made before.
   */
  @Parameter(property = "vantorix.force", defaultValue = "true")
  protected boolean force;

  /**
   * Corresponds to the {@code --icon} option: the application's icon (.ico): of the Windows
   * executable and the setup program, and of the Debian package's menu entry (there also a square
   * PNG image).
   */
  @Parameter(property = "vantorix.icon")
  protected File icon;

  /**
   * Corresponds to the {@code --version} option: the version (1 to 4 numbers): of the Windows
   * executable's version resource and of both installers, which need it. Default: the numeric part
   * of the project's version (1.2 of 1.2-SNAPSHOT), for a Windows image or an installer.
   */
  @Parameter(property = "vantorix.version")
  protected String version;

  /**
   * Corresponds to the {@code --vendor} option: the vendor: the Windows executable's company, the
   * setup program's publisher, the Debian package's maintainer. Default: the organization's name,
   * for a Windows image or an installer.
   */
  @Parameter(property = "vantorix.vendor")
  protected String vendor;

  /**
   * Corresponds to the {@code --description} option: one line about the application (default:
   * NAME): the Windows executable's file description, and both installers'. Default: the project's
   * description, for a Windows image or an installer.
   */
  @Parameter(property = "vantorix.description")
  protected String description;

  /**
   * Corresponds to the {@code --verbose} option: also print the jdeps and jlink arguments and
   * jlink's lines.
   */
  @Parameter(property = "vantorix.verbose", defaultValue = "false")
  protected boolean verbose;

  /**
   * Corresponds to the {@code --main-jar} option: a jar with Main-Class in its manifest. Default:
   * the project's jar, when it has no runtime dependencies or its manifest has a Class-Path.
   */
  @Parameter(property = "vantorix.mainJar")
  protected String mainJar;

  /**
   * Corresponds to the {@code --main-class} option: a main class, found in the --class-path
   * entries. Default: the Main-Class of the project's jar, when it has runtime dependencies.
   */
  @Parameter(property = "vantorix.mainClass")
  protected String mainClass;

  /**
   * Corresponds to the {@code --main-module} option: a main module (and its main class), found on
   * the --module-path.
   */
  @Parameter(property = "vantorix.mainModule")
  protected String mainModule;

  /**
   * Corresponds to the {@code --class-path} option, a list of {@code <classPath>} elements: a jar
   * or directory of the class path (repeatable, in order). Default: the project's jar and its
   * runtime dependencies, with that main class.
   */
  @Parameter
  protected List<String> classPaths;

  /**
   * Corresponds to the {@code --module-path} option, a list of {@code <modulePath>} elements: a jar
   * or directory of the module path (repeatable, in order). Default: the project's jar and its
   * runtime dependencies, when a main module is given.
   */
  @Parameter
  protected List<String> modulePaths;

  /**
   * Corresponds to the {@code --java-option} option, a list of {@code <javaOption>} elements: a JVM
   * option, such as -Xmx1g or -Dorbit.home=$APPDIR.
   */
  @Parameter
  protected List<String> javaOptions;

  /**
   * Corresponds to the {@code --argument} option, a list of {@code <argument>} elements: a default
   * argument of the application (replaced by the arguments the executable is started with).
   */
  @Parameter
  protected List<String> arguments;

  /**
   * Corresponds to the {@code --splash} option: a splash image (PNG, GIF, JPEG or BMP) in the input
   * directory.
   */
  @Parameter(property = "vantorix.splash")
  protected String splash;

  /**
   * Corresponds to the {@code --user-option} option, a list of {@code <userOption>} elements: a JVM
   * option prefix that users may set in their own options file, such as -Xmx (repeatable).
   */
  @Parameter
  protected List<String> userOptions;

  /**
   * Corresponds to the {@code --no-fast-start} option: no per-user class-data cache (by default the
   * launcher keeps one, so that later starts are faster).
   */
  @Parameter(property = "vantorix.noFastStart", defaultValue = "false")
  protected boolean noFastStart;

  /**
   * Corresponds to the {@code --single-instance} option: one instance per user and session: a later
   * start hands its arguments to the running one (which receives them through
   * vantorix-instances.jar) and ends.
   */
  @Parameter(property = "vantorix.singleInstance", defaultValue = "false")
  protected boolean singleInstance;

  /**
   * Corresponds to the {@code --console} option: a command-line application: the console launcher
   * (Windows; default: the GUI launcher), no desktop entry (Debian package).
   */
  @Parameter(property = "vantorix.console", defaultValue = "false")
  protected boolean console;

  /**
   * Corresponds to the {@code --add-modules} option, a list of {@code <addModule>} elements: a JDK
   * module to link besides those the application's classes need and the run-time services the JDK
   * would find, such as java.sql for a driver that is loaded by name (repeatable; a comma-separated
   * list also works).
   */
  @Parameter
  protected List<String> addModules;

  /**
   * Corresponds to the {@code --include-locales} option: keep only the locale data of these
   * language tags, such as en,de,fr-CA (jlink's locale filter; default: all).
   */
  @Parameter(property = "vantorix.includeLocales")
  protected String includeLocales;

  /**
   * Corresponds to the {@code --only-found-modules} option: link only the modules that the
   * application's classes need and --add-modules names: no run-time services (security providers,
   * locale data, charsets, the zip file system, sun.misc), for the smallest runtime.
   */
  @Parameter(property = "vantorix.onlyFoundModules", defaultValue = "false")
  protected boolean onlyFoundModules;

  /**
   * Corresponds to the {@code --jdk} option: link from another JDK (its jlink and jmods).
   */
  @Parameter(property = "vantorix.jdk")
  protected File jdk;

  /**
   * Corresponds to the {@code --jmods} option: link these jmods, such as a Windows JDK's jmods
   * directory on a Linux machine.
   */
  @Parameter(property = "vantorix.jmods")
  protected File jmods;

  /**
   * Corresponds to the {@code --runtime} option: copy this Java runtime instead (its
   * bin&#92;jli.dll or lib/libjli.so must match the launcher's machine type).
   */
  @Parameter(property = "vantorix.runtime")
  protected File runtime;

  /**
   * Corresponds to the {@code --launcher} option, a list of {@code <launcher>} elements: one more
   * launcher, NAME.exe (GUI) or NAME, beside the primary one; ENTRY is a main class (on the class
   * path), jar:FILE or module:MODULE[/CLASS] (on the module path); it shares the runtime, the class
   * path and the options (unless --launcher-java-option or --launcher-argument name it), and has
   * its own app/NAME.cfg, class-data cache and user options file (repeatable).
   */
  @Parameter
  protected List<String> launcherList;

  /**
   * Corresponds to the {@code --console-launcher} option, a list of {@code <consoleLauncher>}
   * elements: NAME=ENTRY as for --launcher, the console variant: no shortcut and no desktop entry
   * (repeatable).
   */
  @Parameter
  protected List<String> consoleLaunchers;

  /**
   * Corresponds to the {@code --launcher-java-option} option, a list of {@code
   * <launcherJavaOption>} elements: a JVM option of launcher NAME alone: given for a launcher,
   * these replace the --java-option values in its config file (repeatable, in order).
   */
  @Parameter
  protected List<String> launcherJavaOptions;

  /**
   * Corresponds to the {@code --launcher-argument} option, a list of {@code <launcherArgument>}
   * elements: a default argument of launcher NAME alone: given for a launcher, these replace the
   * --argument values (repeatable).
   */
  @Parameter
  protected List<String> launcherArguments;

  /**
   * Corresponds to the {@code --file-association} option, a list of {@code <fileAssociation>}
   * elements: .EXT[=TYPE/SUB][&#64;NAME]: the application opens files of the extension: a
   * double-click starts launcher NAME (default: the primary one) with the file's path; without
   * =TYPE/SUB the MIME type is application/x-APP-EXT, APP the image's name in lower case, and the
   * tool says so (repeatable; example: .orbit=application/x-orbit&#64;Viewer).
   */
  @Parameter
  protected List<String> fileAssociations;

  /**
   * Corresponds to the {@code --url-scheme} option, a list of {@code <urlScheme>} elements:
   * SCHEME[&#64;NAME]: the application opens links SCHEME:...: launcher NAME (default: the primary
   * one) gets the URL (repeatable).
   */
  @Parameter
  protected List<String> urlSchemes;

  /**
   * Corresponds to the {@code --copyright} option: the copyright text.
   */
  @Parameter(property = "vantorix.copyright")
  protected String copyright;

  /**
   * Corresponds to the {@code --execution-level} option: asInvoker (default), highestAvailable or
   * requireAdministrator.
   */
  @Parameter(property = "vantorix.executionLevel")
  protected String executionLevel;

  /**
   * Corresponds to the {@code --brand-tool} option: the branding tool (default: vantorix-brand.exe
   * beside the launchers on Windows; elsewhere a native vantorix-brand beside the launchers or this
   * tool, else vantorix-brand.exe under Wine).
   */
  @Parameter(property = "vantorix.brandTool")
  protected String brandTool;

  /**
   * Corresponds to the {@code --wine} option: the command that runs Windows programs (default:
   * wine, then Debian's wine64 or 32-bit loader).
   */
  @Parameter(property = "vantorix.wine")
  protected String wine;

  /**
   * Corresponds to the {@code --sign-command} option: run after branding on each Windows executable
   * of the image, through sh -c (cmd /c on Windows); {} in CMD is replaced by the file's quoted
   * path (appended when absent).
   */
  @Parameter(property = "vantorix.signCommand")
  protected String signCommand;

  /**
   * Corresponds to the {@code --installer} option: a setup program NAME-VERSION-setup.exe (Windows
   * targets, with NSIS) or a Debian package ID_VERSION_ARCH.deb (linux-x64, with dpkg-deb).
   */
  @Parameter(property = "vantorix.installer")
  protected String installer;

  /**
   * Corresponds to the {@code --installer-dir} option: where the installer goes (default: the
   * output's parent).
   */
  @Parameter(property = "vantorix.installerDir")
  protected File installerDir;

  /**
   * Corresponds to the {@code --app-id} option: the id that stays the same across versions: the
   * uninstall registry key (default: VENDOR.NAME) or the package name (default: NAME in lower
   * case).
   */
  @Parameter(property = "vantorix.appId")
  protected String appId;

  /**
   * Corresponds to the {@code --install-scope} option: user (default: no elevation, into
   * %LOCALAPPDATA%&#92;Programs&#92;NAME) or machine (elevated, into Program Files).
   */
  @Parameter(property = "vantorix.installScope")
  protected String installScope;

  /**
   * Corresponds to the {@code --desktop-shortcut} option: also a shortcut on the desktop (setup
   * program).
   */
  @Parameter(property = "vantorix.desktopShortcut", defaultValue = "false")
  protected boolean desktopShortcut;

  /**
   * Corresponds to the {@code --makensis} option: the NSIS compiler (default: makensis on the
   * PATH).
   */
  @Parameter(property = "vantorix.makensis")
  protected String makensis;

  /**
   * Corresponds to the {@code --package-version} option: the package's version, when it is not
   * --version: the version with a Debian revision or a suffix, such as 3.3.2-1 or 3.3.2+repack-1
   * (Debian package).
   */
  @Parameter(property = "vantorix.packageVersion")
  protected String packageVersion;

  /**
   * Corresponds to the {@code --vendor-email} option: the maintainer's address; with --vendor it
   * makes the package's Maintainer field (Debian package).
   */
  @Parameter(property = "vantorix.vendorEmail")
  protected String vendorEmail;

  /** The tool's command line of the parameters that are set. */
  final void addArguments(ToolArguments command) {
    command.value("name", name);
    command.value("input", input);
    command.value("output", output);
    command.value("target", target);
    command.value("launchers", launchers);
    command.flag("force", force);
    command.value("icon", icon);
    command.value("version", version);
    command.value("vendor", vendor);
    command.value("description", description);
    command.flag("verbose", verbose);
    command.value("main-jar", mainJar);
    command.value("main-class", mainClass);
    command.value("main-module", mainModule);
    command.list("class-path", classPaths);
    command.list("module-path", modulePaths);
    command.list("java-option", javaOptions);
    command.list("argument", arguments);
    command.value("splash", splash);
    command.list("user-option", userOptions);
    command.flag("no-fast-start", noFastStart);
    command.flag("single-instance", singleInstance);
    command.flag("console", console);
    command.list("add-modules", addModules);
    command.value("include-locales", includeLocales);
    command.flag("only-found-modules", onlyFoundModules);
    command.value("jdk", jdk);
    command.value("jmods", jmods);
    command.value("runtime", runtime);
    command.list("launcher", launcherList);
    command.list("console-launcher", consoleLaunchers);
    command.list("launcher-java-option", launcherJavaOptions);
    command.list("launcher-argument", launcherArguments);
    command.list("file-association", fileAssociations);
    command.list("url-scheme", urlSchemes);
    command.value("copyright", copyright);
    command.value("execution-level", executionLevel);
    command.value("brand-tool", brandTool);
    command.value("wine", wine);
    command.value("sign-command", signCommand);
    command.value("installer", installer);
    command.value("installer-dir", installerDir);
    command.value("app-id", appId);
    command.value("install-scope", installScope);
    command.flag("desktop-shortcut", desktopShortcut);
    command.value("makensis", makensis);
    command.value("package-version", packageVersion);
    command.value("vendor-email", vendorEmail);
  }
}
