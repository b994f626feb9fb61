package org.vantorix.image;

import java.util.Set;

/**
 * One option of the command line, as {@link OptionTable} declares it: a value, a value that
 * repeats, or a flag. Each kind has its own accessor in {@link Options}, so that asking for the
 * wrong kind does not compile.
 */
sealed interface Option permits Option.Value, Option.Repeated, Option.Flag {
  /** The name without its dashes. */
  String name();

  /** The value's placeholder in the help (null for a flag). */
  String argument();

  Group group();

  /** The help line; a line break continues it on the next line, in the help column. */
  String help();

  Set<Trait> traits();

  default String spelled() {
    return "--" + name();
  }

  /** What else the table says about an option, for the checks that come from it. */
  enum Trait {
    /** The command line must give it. */
    REQUIRED,
    /** One of the entry points, of which exactly one is given. */
    ENTRY_POINT,
    /** Used by the setup program, and so only with --installer exe. */
    SETUP_PROGRAM,
    /** Used by the Debian package, and so only with --installer deb. */
    DEBIAN_PACKAGE
  }

  /** The groups of the help, in its order. */
  enum Group {
    GENERAL("General:"),
    LAUNCH(
        "Launch (exactly one of --main-jar, --main-class and --main-module; paths are\n"
            + "relative to --input; the repeatable ones keep their order; $APPDIR and\n"
            + "$ROOTDIR in them are replaced by the launcher; no line breaks):"),
    RUNTIME("The runtime (by default linked with jlink from the JDK that runs this tool):"),
    BRANDING("Branding and signing (Windows targets):"),
    INSTALLERS(
        "Installers (from the image, before both are put in place; with --version,\n"
            + "--vendor, --description and --icon of the general options):");

    final String title;

    Group(String title) {
      this.title = title;
    }
  }

  /** An option with one value: given at most once. */
  record Value(String name, String argument, Group group, String help, Set<Trait> traits)
      implements Option {}

  /** An option with a value that may be given again: the values in their order. */
  record Repeated(String name, String argument, Group group, String help, Set<Trait> traits)
      implements Option {}

  /** An option without a value. */
  record Flag(String name, Group group, String help, Set<Trait> traits) implements Option {
    @Override
    public String argument() {
      return null;
    }
  }
}
