package org.vantorix.image;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * The command line, as given. Every option with a value takes the next word as it is, so that
 * values starting with '-' need no special form: {@code --java-option -Xmx1g} and {@code
 * --argument --verbose} work as written.
 */
record Options(
    Map<String, String> values, Map<String, List<String>> lists, Set<String> flags, boolean help) {

  static final List<String> VALUES =
      List.of(
          "name", "input", "main-jar", "main-class", "main-module", "splash", "runtime", "jdk",
          "jmods", "target", "icon", "version", "vendor", "description", "copyright", "output",
          "launchers", "wine", "brand-tool", "execution-level", "sign-command", "installer",
          "makensis", "install-scope", "app-id", "vendor-email", "installer-dir");
  static final List<String> LISTS =
      List.of(
          "class-path", "module-path", "java-option", "argument", "add-modules", "user-option");
  static final List<String> FLAGS =
      List.of("console", "force", "no-fast-start", "verbose", "desktop-shortcut");

  static final String USAGE =
      "usage: vantorix-image --name NAME --input DIR (--main-jar JAR | --main-class CLASS"
          + " --class-path ENTRY... | --main-module MODULE[/CLASS] --module-path ENTRY...)"
          + " [options]";

  static final String HELP =
      USAGE
          + """


          Lays out an application image: the launcher under the application's name,
          app/ with the input directory's files and the launcher config file
          app/NAME.cfg, and runtime/ with a Java runtime that jlink links from the
          JDK modules the application needs (or a copy of --runtime). Everything is
          checked before anything is written; the image is built beside the output
          directory and moved into place at the end.

          What to run (exactly one; paths are relative to --input):
            --name NAME             the application's name: NAME.exe (Windows), NAME (Linux)
            --input DIR             the directory whose files go to app/
            --main-jar JAR          a jar with Main-Class in its manifest
            --main-class CLASS      a main class, found in the --class-path entries
            --main-module MOD[/CLS] a main module (and its main class), found on the --module-path
            --class-path ENTRY      a jar or directory of the class path (repeatable, in order)
            --module-path ENTRY     a jar or directory of the module path (repeatable, in order)

          What to pass (each repeatable, in order; $APPDIR and $ROOTDIR in them are
          replaced by the launcher; no line breaks):
            --java-option OPTION    a JVM option, such as -Xmx1g or -Dorbit.home=$APPDIR
            --argument ARG          a default argument of the application (replaced by
                                    the arguments the executable is started with)
            --splash IMAGE          a splash image (PNG, GIF, JPEG or BMP) in the input directory
            --user-option PREFIX    a JVM option prefix that users may set in their own
                                    options file, such as -Xmx (repeatable)
            --no-fast-start         no per-user class-data cache (by default the launcher
                                    keeps one, so that later starts are faster)

          The runtime (by default linked with jlink from the JDK that runs this tool):
            --add-modules MODULE    a JDK module to link besides those the application's
                                    classes need: service providers, reflection, locales,
                                    such as jdk.crypto.ec or jdk.localedata (repeatable;
                                    a comma-separated list also works)
            --jdk DIR               link from another JDK (its jlink and jmods)
            --jmods DIR             link these jmods, such as a Windows JDK's jmods
                                    directory on a Linux machine
            --runtime DIR           copy this Java runtime instead (its bin\\jli.dll or
                                    lib/libjli.so must match the launcher's machine type)
            --verbose               also print the jdeps and jlink arguments

          The image:
            --target TARGET         windows-x64, windows-x86 or linux-x64 (default: that of
                                    the launchers found)
            --console               the console launcher (Windows; default: the GUI launcher)
            --output DIR            the image directory (default: NAME in the current directory)
            --force                 replace an image that this tool wrote before
            --launchers DIR         the directory of the launcher executables (default: the
                                    tool's own directory, as in the release archive)

          Branding and signing (Windows targets):
            --icon FILE.ico         the executable's icon
            --version A.B.C.D       the file and product version (1 to 4 numbers)
            --vendor TEXT           the company name
            --description TEXT      the file description (default: NAME)
            --copyright TEXT        the copyright text
            --execution-level LEVEL asInvoker (default), highestAvailable or requireAdministrator
            --brand-tool PATH       the branding tool (default: vantorix-brand.exe beside the
                                    launchers on Windows; elsewhere a native vantorix-brand
                                    beside the launchers or this tool, else vantorix-brand.exe
                                    under Wine)
            --wine COMMAND          the command that runs Windows programs (default: wine,
                                    then Debian's wine64 or 32-bit loader)
            --sign-command CMD      run after branding on each Windows executable of the
                                    image, through sh -c (cmd /c on Windows); {} in CMD is
                                    replaced by the file's quoted path (appended when absent)

          The installer (made from the image once it is written; --version is needed):
            --installer exe|deb     a setup program NAME-VERSION-setup.exe (Windows targets,
                                    with NSIS) or a Debian package ID_VERSION_ARCH.deb
                                    (linux-x64, with dpkg-deb)
            --installer-dir DIR     where the installer goes (default: the output's parent)
            --app-id ID             the id that stays the same across versions: the uninstall
                                    registry key (default: VENDOR.NAME) or the package name
                                    (default: NAME in lower case)
            --install-scope SCOPE   user (default: no elevation, into
                                    %LOCALAPPDATA%\\Programs\\NAME) or machine (elevated, into
                                    Program Files)
            --desktop-shortcut      also a shortcut on the desktop (setup program)
            --makensis PATH         the NSIS compiler (default: makensis on the PATH)
            --vendor-email EMAIL    the maintainer's address; with --vendor it makes the
                                    package's Maintainer field (Debian package)
            --help                  this text

          Example:
            vantorix-image --name Orbit --input build/orbit --main-jar orbit.jar \\
                --java-option -Xmx1g --java-option "-Dorbit.home=$APPDIR" --argument --workspace \\
                --add-modules jdk.localedata --icon orbit.ico --version 2.5.1 \\
                --vendor "Orbit Works" \\
                --output dist/Orbit

          Ends with 0 when the image was written; otherwise prints one line
          "vantorix-image: <what is wrong>", ends with 1 and leaves the output as it was.
          """;

  static Options parse(String... args) {
    Map<String, String> values = new HashMap<>();
    Map<String, List<String>> lists = new HashMap<>();
    Set<String> flags = new HashSet<>();
    boolean help = false;
    for (int at = 0; at < args.length; at++) {
      String word = args[at];
      if (word.equals("--help") || word.equals("-h")) {
        help = true;
        continue;
      }
      if (!word.startsWith("--")) {
        throw Refusal.of("unexpected %s: every value follows its option (see --help)", word);
      }
      int equals = word.indexOf('=');
      String name = equals < 0 ? word.substring(2) : word.substring(2, equals);
      if (FLAGS.contains(name)) {
        if (equals >= 0) {
          throw Refusal.of("--%s takes no value", name);
        }
        flags.add(name);
        continue;
      }
      if (!VALUES.contains(name) && !LISTS.contains(name)) {
        throw Refusal.of("unknown option --%s (see --help)", name);
      }
      String value;
      if (equals >= 0) {
        value = word.substring(equals + 1);
      } else if (at + 1 < args.length) {
        value = args[++at];
      } else {
        throw Refusal.of("--%s needs a value", name);
      }
      if (LISTS.contains(name)) {
        lists.computeIfAbsent(name, n -> new ArrayList<>()).add(value);
      } else if (values.putIfAbsent(name, value) != null) {
        throw Refusal.of("--%s is given twice", name);
      }
    }
    Options options = new Options(Map.copyOf(values), copy(lists), Set.copyOf(flags), help);
    if (help) {
      return options;
    }
    for (String required : List.of("name", "input")) {
      if (!values.containsKey(required)) {
        throw Refusal.of("--%s is required (see --help)", required);
      }
    }
    String target = values.get("target");
    if (target != null && Target.named(target).isEmpty()) {
      throw Refusal.of("unknown target %s: one of %s", target, Target.labels());
    }
    return options;
  }

  private static Map<String, List<String>> copy(Map<String, List<String>> lists) {
    Map<String, List<String>> copied = new HashMap<>();
    lists.forEach((name, list) -> copied.put(name, List.copyOf(list)));
    return Map.copyOf(copied);
  }

  /** The value of an option, or null when it is not given. */
  String value(String name) {
    return values.get(name);
  }

  List<String> list(String name) {
    return lists.getOrDefault(name, List.of());
  }

  boolean flag(String name) {
    return flags.contains(name);
  }
}
