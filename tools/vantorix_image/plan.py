"""Everything that is checked before a file is written, and what the writer
is then told to do."""

import os
import re

from . import Refusal, binaries, icon, jars
from .config import MACROS, Config, check_value, shown

_WINDOWS_FORBIDDEN = set('<>:"/\\|?*')
_WINDOWS_DEVICES = {"CON", "PRN", "AUX", "NUL"} | {"%s%d" % (d, n) for d in ("COM", "LPT") for n in range(1, 10)}
_VERSION = re.compile(r"^\d+(\.\d+){0,3}$")
_JAVA_NAME = re.compile(r"^[^\W\d][\w$]*(\.[^\W\d][\w$]*)*$")


class Plan:
    """What the writer does: every path here has been checked."""

    def __init__(self):
        self.target = None
        self.launcher = None
        self.executable = None
        self.config_name = None
        self.config_data = None
        self.input = None
        self.output = None
        self.runtime = None
        self.brand_tool = None
        self.brand_options = []
        self.wine = None
        self.notes = []


def drop_suffix(name):
    """The launcher's own rule for its config file's name: the executable's
    name without its last suffix, then ".cfg"."""
    dot = name.rfind(".")
    return (name if dot < 0 else name[:dot]) + ".cfg"


def check_name(name, target):
    check_value("the name", name)
    if not name or name in (".", "..") or "/" in name or any(ord(c) < 32 for c in name):
        raise Refusal("the name %s cannot be a file name" % shown(name))
    if target.windows:
        bad = sorted(set(name) & _WINDOWS_FORBIDDEN)
        if bad:
            raise Refusal("the name %s holds %s, which Windows file names cannot hold"
                          % (shown(name), " ".join(bad)))
        if name[-1] in ". ":
            raise Refusal("the name %s ends with %s, which Windows drops from file names"
                          % (shown(name), "a dot" if name[-1] == "." else "a blank"))
        if name.split(".")[0].upper() in _WINDOWS_DEVICES:
            raise Refusal("the name %s is a Windows device name" % shown(name))


def inside(path, directory):
    path, directory = os.path.realpath(path), os.path.realpath(directory)
    return path == directory or path.startswith(directory.rstrip(os.sep) + os.sep)


class Files:
    """Files named relative to the input directory (or absolute inside it)."""

    def __init__(self, input_dir, target):
        self.input = input_dir
        self.target = target

    def relative(self, what, path, kinds=("file",)):
        """The path relative to the input directory, checked to exist."""
        check_value(what, path)
        full = os.path.normpath(os.path.join(self.input, path))
        try:
            relative = os.path.relpath(full, self.input)
        except ValueError:  # another drive
            relative = full
        if relative == os.pardir or relative.startswith(os.pardir + os.sep) or os.path.isabs(relative):
            raise Refusal("%s %s is not inside the input directory %s: everything the image runs "
                          "comes from there" % (what, path, self.input))
        exists = ("file" in kinds and os.path.isfile(full)) or ("directory" in kinds and os.path.isdir(full))
        if not exists:
            raise Refusal("%s %s does not exist in the input directory %s"
                          % (what, shown(relative), self.input))
        for macro in MACROS:
            if macro in relative:
                raise Refusal("%s %s holds %s, which the launcher would replace" % (what, shown(relative), macro))
        return relative

    def list_entry(self, what, path):
        """A class-path or module-path element: one jar or directory."""
        if self.target.list_separator in path:
            raise Refusal("%s %s holds '%s', the %s path-list separator, which the Java runtime would split "
                          "it at: give one entry per option, and no file name with '%s'"
                          % (what, shown(path), self.target.list_separator, self.target.name,
                             self.target.list_separator))
        return self.relative(what, path, ("file", "directory"))

    def full(self, relative):
        return os.path.join(self.input, relative)

    def in_config(self, relative):
        """$APPDIR and the path in the target's separators."""
        return "$APPDIR" + self.target.separator + relative.replace(os.sep, self.target.separator)


def check_main_jar(files, path):
    relative = files.list_entry("the main jar", path)
    if os.path.isdir(files.full(relative)):
        raise Refusal("the main jar %s is a directory" % relative)
    jar = jars.Entry(files.full(relative))
    jar.names()
    main_class = jar.manifest().get("main-class")
    if not main_class:
        raise Refusal("the main jar %s has no Main-Class in its manifest: give --main-class with "
                      "--class-path instead" % relative)
    if not jar.has_class(main_class):
        # The manifest's Class-Path may bring it; its entries are relative
        # to the jar's own directory.
        base = os.path.dirname(jar.path)
        others = [jars.Entry(os.path.join(base, *item.split("/")))
                  for item in jar.manifest().get("class-path", "").split()]
        if not any(os.path.exists(e.path) and e.has_class(main_class) for e in others):
            raise Refusal("the main class %s of %s's manifest is not in the jar nor on its Class-Path"
                          % (main_class, relative))
    return relative


def check_main_class(files, main_class, class_path):
    if not _JAVA_NAME.match(main_class):
        raise Refusal("the main class %s is not a Java class name (like org.example.Main)" % shown(main_class))
    if not class_path:
        raise Refusal("--main-class needs at least one --class-path entry")
    entries = [files.list_entry("the class-path entry", path) for path in class_path]
    if not any(jars.Entry(files.full(e)).has_class(main_class) for e in entries):
        raise Refusal("the main class %s is in none of the class-path entries %s"
                      % (main_class, ", ".join(entries)))
    return entries


def check_main_module(files, main_module, module_path):
    module, _, main_class = main_module.partition("/")
    if not _JAVA_NAME.match(module) or (main_class and not _JAVA_NAME.match(main_class)):
        raise Refusal("the main module %s is not MODULE or MODULE/CLASS (like org.example/org.example.Main)"
                      % shown(main_module))
    if not module_path:
        raise Refusal("--main-module needs at least one --module-path entry")
    entries = [files.list_entry("the module-path entry", path) for path in module_path]
    modules = {m.name: m for m in reversed(jars.modules_on_path([files.full(e) for e in entries]))}
    found = modules.get(module)
    if found is None:
        raise Refusal("the main module %s is in none of the module-path entries %s (modules found: %s)"
                      % (module, ", ".join(entries), ", ".join(sorted(modules)) or "none"))
    if main_class:
        if not found.entry.has_class(main_class):
            raise Refusal("the main class %s is not in the module %s (%s)"
                          % (main_class, module, os.path.relpath(found.entry.path, files.input)))
    elif not found.main_class:
        raise Refusal("the module %s names no main class: give --main-module %s/CLASS" % (module, module))
    return entries


def check_splash(files, path):
    relative = files.relative("the splash image", path)
    with open(files.full(relative), "rb") as f:
        if icon.splash_format(f.read(16)) is None:
            raise Refusal("the splash image %s is not a PNG, GIF, JPEG or BMP file" % relative)
    return relative


def check_icon(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise Refusal("the icon %s cannot be read: %s" % (path, error.strerror or error))
    problem = icon.icon_problem(data)
    if problem:
        raise Refusal("the icon %s is not a valid .ico file: %s" % (path, problem))


def check_output(options, plan):
    output = os.path.abspath(options.output or options.name)
    if os.path.exists(output) or os.path.islink(output):
        if not os.path.isdir(output):
            raise Refusal("the output %s exists and is not a directory" % output)
        if os.listdir(output) and not options.force:
            raise Refusal("the output directory %s is not empty: give --force to replace it" % output)
    if inside(output, plan.input):
        raise Refusal("the output directory %s lies inside the input directory %s" % (output, plan.input))
    for what, path in (("input directory", plan.input), ("runtime", plan.runtime)):
        if path and inside(path, output):
            raise Refusal("the %s %s lies inside the output directory %s, which the image replaces"
                          % (what, path, output))
    return output


def add_entry_point(options, files, config):
    """The class path, module path and the one entry point, checked."""
    entry_points = [o for o in ("main_jar", "main_class", "main_module") if getattr(options, o)]
    if len(entry_points) != 1:
        raise Refusal("give one of --main-jar, --main-class and --main-module (given: %s)"
                      % (", ".join("--" + o.replace("_", "-") for o in entry_points) or "none"))
    if options.main_jar and options.class_path:
        raise Refusal("--class-path does not go with --main-jar: the Java runtime ignores it for a jar "
                      "(list the jars in the manifest's Class-Path, or use --main-class)")
    if options.main_module:
        module_path = check_main_module(files, options.main_module, options.module_path)
    else:
        module_path = [files.list_entry("the module-path entry", p) for p in options.module_path]
    if options.main_class:
        class_path = check_main_class(files, options.main_class, options.class_path)
    else:
        class_path = [files.list_entry("the class-path entry", p) for p in options.class_path]
    for entry in module_path:
        config.add("Application", "app.modulepath", files.in_config(entry))
    for entry in class_path:
        config.add("Application", "app.classpath", files.in_config(entry))
    if options.main_jar:
        config.add("Application", "app.mainjar", files.in_config(check_main_jar(files, options.main_jar)))
    elif options.main_class:
        config.add("Application", "app.mainclass", options.main_class)
    else:
        config.add("Application", "app.mainmodule", options.main_module)


def plan_branding(options, plan, launchers):
    """What the branding tool is given (Windows targets), checked."""
    branding = [("--icon", options.icon), ("--version", options.version), ("--vendor", options.vendor),
                ("--description", options.description), ("--copyright", options.copyright)]
    for option, value in branding[1:]:
        if value is not None:
            check_value("the %s value" % option, value)
    if not plan.target.windows:
        if any(value for _, value in branding):
            plan.notes.append("%s carries no icon or version information: %s not used"
                              % (plan.target.name, ", ".join(option for option, value in branding if value)))
        return
    if options.icon:
        check_icon(options.icon)
    if options.version is not None and not (
            _VERSION.match(options.version) and all(int(p) <= 65535 for p in options.version.split("."))):
        raise Refusal("the version %s is not 1 to 4 numbers of 0 to 65535 joined by dots (like 2.5.1)"
                      % shown(options.version))
    plan.brand_tool = os.path.join(launchers, "vantorix-brand.exe")
    plan.brand_options = ["--product-name", options.name, "--original-filename", plan.executable,
                          "--description", options.description or options.name]
    if options.icon:
        plan.brand_options += ["--icon", os.path.abspath(options.icon)]
    if options.vendor:
        plan.brand_options += ["--company", options.vendor]
    if options.copyright:
        plan.brand_options += ["--copyright", options.copyright]
    if options.version:
        plan.brand_options += ["--file-version", options.version, "--product-version", options.version]
    plan.wine = options.wine


def make_plan(options, tool_directory):
    plan = Plan()
    launchers = os.path.abspath(options.launchers or tool_directory)
    target = binaries.TARGETS[options.target] if options.target else binaries.default_target(launchers)
    plan.target = target
    check_name(options.name, target)
    plan.launcher = binaries.find_launcher(launchers, target, options.console)
    plan.executable = target.executable_name(options.name)
    plan.config_name = drop_suffix(plan.executable)

    plan.input = os.path.abspath(options.input)
    if not os.path.isdir(plan.input):
        raise Refusal("the input directory %s does not exist" % plan.input)
    if os.path.lexists(os.path.join(plan.input, plan.config_name)):
        raise Refusal("the input directory already holds %s, the config file that the tool writes"
                      % plan.config_name)
    files = Files(plan.input, target)

    config = Config()
    add_entry_point(options, files, config)
    if options.splash:
        config.add("Application", "app.splash", files.in_config(check_splash(files, options.splash)))
    config.add("Application", "app.runtime", "$ROOTDIR" + target.separator + "runtime")
    for option in options.java_option:
        config.add("JavaOptions", "java-options", option)
    for argument in options.argument:
        config.add("ArgOptions", "arguments", argument)
    plan.config_data = config.data(options.name)

    if options.runtime:
        plan.runtime = os.path.abspath(options.runtime)
        binaries.check_runtime(plan.runtime, target, plan.launcher)
    else:
        plan.notes.append("no --runtime given: the image starts once a Java runtime is copied to its runtime "
                          "directory")

    plan_branding(options, plan, launchers)
    plan.output = check_output(options, plan)
    return plan
