"""The command line. Every option with a value takes the next word as it is,
so that values starting with '-' need no special form:
`--java-option -Xmx1g` and `--argument --verbose` work as written."""

import sys

from . import Refusal, binaries, plan, writer

USAGE = "usage: vantorix-image --name NAME --input DIR (--main-jar JAR | --main-class CLASS --class-path ENTRY... " \
        "| --main-module MODULE[/CLASS] --module-path ENTRY...) [options]"

HELP = USAGE + """

Lays out an application image: the launcher under the application's name,
app/ with the input directory's files and the launcher config file
app/NAME.cfg, and runtime/ with a copy of a Java runtime. Everything is
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

The image:
  --runtime DIR           the Java runtime to copy into runtime/ (its bin\\jli.dll
                          or lib/libjli.so must match the launcher's machine type)
  --target TARGET         windows-x64, windows-x86 or linux-x64 (default: that of
                          the launchers found)
  --console               the console launcher (Windows; default: the GUI launcher)
  --output DIR            the image directory (default: NAME in the current directory)
  --force                 replace a non-empty output directory
  --launchers DIR         the directory of the launcher executables and
                          vantorix-brand.exe (default: the tool's own directory,
                          as in the release archive)

Branding (Windows targets; through vantorix-brand.exe, under Wine on Linux):
  --icon FILE.ico         the executable's icon
  --version A.B.C.D       the file and product version (1 to 4 numbers)
  --vendor TEXT           the company name
  --description TEXT      the file description (default: NAME)
  --copyright TEXT        the copyright text
  --wine COMMAND          the command that runs Windows programs (default: wine,
                          then Debian's wine64 or 32-bit loader)
  --help                  this text

Example:
  vantorix-image --name Orbit --input build/orbit --main-jar orbit.jar \\
      --java-option -Xmx1g --java-option "-Dorbit.home=$APPDIR" --argument --workspace \\
      --runtime build/jre --icon orbit.ico --version 2.5.1 --vendor "Orbit Works" \\
      --output dist/Orbit

Ends with 0 when the image was written; otherwise prints one line
"vantorix-image: <what is wrong>", ends with 1 and writes nothing.
"""

VALUES = ("name", "input", "main-jar", "main-class", "main-module", "splash", "runtime", "target",
          "icon", "version", "vendor", "description", "copyright", "output", "launchers", "wine")
LISTS = ("class-path", "module-path", "java-option", "argument")
FLAGS = ("console", "force")


class Options:
    def __init__(self):
        for name in VALUES:
            setattr(self, name.replace("-", "_"), None)
        for name in LISTS:
            setattr(self, name.replace("-", "_"), [])
        for name in FLAGS:
            setattr(self, name, False)
        self.help = False


def parse(args):
    options = Options()
    words = list(args)
    while words:
        word = words.pop(0)
        if word in ("--help", "-h"):
            options.help = True
            continue
        if not word.startswith("--"):
            raise Refusal("unexpected %s: every value follows its option (see --help)" % word)
        name, has_value, value = word[2:].partition("=")
        if name in FLAGS:
            if has_value:
                raise Refusal("--%s takes no value" % name)
            setattr(options, name, True)
            continue
        if name not in VALUES and name not in LISTS:
            raise Refusal("unknown option --%s (see --help)" % name)
        if not has_value:
            if not words:
                raise Refusal("--%s needs a value" % name)
            value = words.pop(0)
        attribute = name.replace("-", "_")
        if name in LISTS:
            getattr(options, attribute).append(value)
        elif getattr(options, attribute) is not None:
            raise Refusal("--%s is given twice" % name)
        else:
            setattr(options, attribute, value)
    if options.help:
        return options
    for required in ("name", "input"):
        if getattr(options, required) is None:
            raise Refusal("--%s is required (see --help)" % required)
    if options.target is not None and options.target not in binaries.TARGETS:
        raise Refusal("unknown target %s: one of %s" % (options.target, ", ".join(binaries.TARGETS)))
    return options


def main(args, tool_directory):
    try:
        options = parse(args)
        if options.help:
            sys.stdout.write(HELP)
            return 0
        image = plan.make_plan(options, tool_directory)
        writer.write(image)
    except Refusal as refusal:
        print("vantorix-image: %s" % refusal, file=sys.stderr)
        return 1
    except OSError as error:
        where = "%s: " % error.filename if error.filename else ""
        print("vantorix-image: %s%s" % (where, error.strerror or error), file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("vantorix-image: interrupted; nothing written", file=sys.stderr)
        return 1
    for note in image.notes:
        print("vantorix-image: note: %s" % note, file=sys.stderr)
    print("vantorix-image: wrote %s" % image.output)
    return 0
