"""End-to-end tests of the image tool, tools/vantorix-image: images made from
a jar, a main class and a main module, and the tool's refusals.

    test_image_tool.py [-v] WindowsImageTest|WindowsRefusalTest
        (under Wine with the stub runtime; the variables of test_launcher.py)
    test_image_tool.py [-v] LinuxImageTest
        (with the installed Java 17 runtime; VX_E2E_LINUX_LAUNCHER)

Besides those: VX_E2E_IMAGE_TOOL (the tool) and VX_E2E_SOURCE_DIR. The
input directories hold real jars and a real module, compiled here with
javac and jar at test time.
"""

import contextlib
import io
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import image as images  # noqa: E402
import linux_image  # noqa: E402
from test_launcher import APP_PATH_PROPERTY, IMAGE_SUBSYSTEM_WINDOWS_CUI, IMAGE_SUBSYSTEM_WINDOWS_GUI, \
    pe_subsystem  # noqa: E402
from test_linux_launcher import Output, Programs  # noqa: E402
from test_release import CHECK_RESOURCES, load_icon_maker  # noqa: E402

SOURCES = os.path.join(here, "java")
TOOL = os.environ.get("VX_E2E_IMAGE_TOOL", os.path.join(os.path.dirname(os.path.dirname(here)), "tools",
                                                        "vantorix-image"))

# Options and arguments that a config file line must carry unchanged: blanks,
# '=', non-ASCII text, the comment and header characters, an empty value.
JAVA_OPTIONS = ["-Dorbit.greeting=Grüß Gott, Юлия", "-Dkey=a=b", "-Dempty=", ";-Dnot.a.comment",
                "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Dhome=$APPDIR"]
ARGUMENTS = ["two words", "", "Jörg=1", "[not a header]", "\\=", "$ROOTDIR"]


REPEATABLE = ("--class-path", "--module-path", "--java-option", "--argument")


def tool_options(java_options=JAVA_OPTIONS, arguments=ARGUMENTS):
    options = []
    for option in java_options:
        options += ["--java-option", option]
    for argument in arguments:
        options += ["--argument", argument]
    return options


def run_tool(args, cwd=None, tool=TOOL):
    """(exit code, stdout, stderr) of one run of the tool."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([sys.executable, "-B", tool] + list(args), stdin=subprocess.DEVNULL, stdout=out,
                              stderr=err, cwd=cwd, env=dict(os.environ, LC_ALL="C.UTF-8"), timeout=300).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


def tree(path):
    """Every file below path with its content, for "left as it was"."""
    found = {}
    for directory, _, names in os.walk(path):
        for name in names:
            full = os.path.join(directory, name)
            with open(full, "rb") as f:
                found[os.path.relpath(full, path)] = f.read()
    return found


def patched_machine(source, target, offset_of, value):
    """A copy of a library with its machine type changed."""
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(source, "rb") as f:
        data = bytearray(f.read())
    for offset, byte in zip(offset_of(data), value):
        data[offset] = byte
    with open(target, "wb") as out:
        out.write(data)


class Inputs:
    """The input directory: probe.jar (main jar), classes/ and "lib/native
    part.jar" (a two-entry class path), mods/demo.mod.jar (a module whose
    jar names its main class), splash.png."""

    def __init__(self, work):
        self.root = os.path.join(work, "input")
        os.makedirs(self.root)
        classes = os.path.join(work, "classes")
        self.tool(["javac", "-d", classes, os.path.join(SOURCES, "Probe.java"), os.path.join(SOURCES, "Native.java")])
        self.tool(["jar", "--create", "--file", os.path.join(self.root, "probe.jar"), "--main-class", "Probe",
                   "-C", classes, "."])
        shutil.copytree(classes, os.path.join(self.root, "classes"), ignore=shutil.ignore_patterns("Native*"))
        os.makedirs(os.path.join(self.root, "lib"))
        self.tool(["jar", "--create", "--file", os.path.join(self.root, "lib", "native part.jar"),
                   "-C", classes, "Native.class"])
        module_classes = os.path.join(work, "module-classes")
        module = os.path.join(SOURCES, "module", "demo.mod")
        self.tool(["javac", "-d", module_classes, os.path.join(module, "module-info.java"),
                   os.path.join(module, "org", "demo", "Hello.java")])
        os.makedirs(os.path.join(self.root, "mods"))
        self.tool(["jar", "--create", "--file", os.path.join(self.root, "mods", "demo.mod.jar"),
                   "--main-class", "org.demo.Hello", "-C", module_classes, "."])
        with open(os.path.join(self.root, "splash.png"), "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + b"\0" * 32)

    tool = staticmethod(Programs.tool)


inputs = None
work_root = None


def setUpModule():
    global work_root
    work_root = tempfile.mkdtemp(prefix="vx-image-tool-")


def tearDownModule():
    shutil.rmtree(work_root, ignore_errors=True)


class ToolTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Compiled once, for the first class that runs.
        global inputs
        if inputs is None:
            inputs = Inputs(work_root)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-tool-", dir=work_root)
        self.addCleanup(shutil.rmtree, self.work, True)

    def assertWritten(self, result, output):
        code, stdout, stderr = result
        self.assertEqual((code, stderr.splitlines()), (0, []), stdout)
        self.assertEqual(stdout, "vantorix-image: wrote %s\n" % output)


class WindowsTestCase(ToolTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.tools = images.Tools.from_environment()
        cls.launchers = os.path.dirname(cls.tools.launcher)
        cls.wine = "%s --arch=%s" % (shlex.quote(cls.tools.wine_run), cls.tools.arch)
        cls.machine = {"x86_64": "x64", "i686": "x86"}[cls.tools.arch]

    def base_options(self, name, output):
        return ["--name", name, "--input", inputs.root, "--runtime", self.tools.stub_runtime,
                "--launchers", self.launchers, "--wine", self.wine, "--output", output]


class WindowsImageTest(WindowsTestCase):
    """Images for the three entry points, run under Wine: the stub runtime
    must receive exactly the argument list that the options name."""

    def test_images_run_with_the_expected_arguments(self):
        icon = os.path.join(self.work, "orbit.ico")
        with open(icon, "wb") as out:
            out.write(load_icon_maker().icon_file((16, 32)))
        # (label, name, tool options, console launcher, expected list after
        # the executable; {A} application directory, {R} image root, {X}
        # executable)
        options = [o.replace("$APPDIR", "{A}") for o in JAVA_OPTIONS]
        arguments = [a.replace("$ROOTDIR", "{R}") for a in ARGUMENTS]
        cases = [
            ("main jar", "Orbit Über",
             ["--main-jar", "probe.jar", "--splash", "splash.png", "--icon", icon, "--version", "2.5.1",
              "--vendor", "Orbit Works", "--copyright", "© 2026 Orbit Works"], False,
             ["-splash:{A}\\splash.png"] + options + [APP_PATH_PROPERTY + "{X}", "-jar", "{A}\\probe.jar"]
             + arguments),
            ("main class", "Probe",
             ["--main-class", "Probe", "--class-path", "classes", "--class-path", "lib/native part.jar"], False,
             ["-classpath", "{A}\\classes;{A}\\lib\\native part.jar"] + options
             + [APP_PATH_PROPERTY + "{X}", "Probe"] + arguments),
            ("main module", "Hello",
             ["--main-module", "demo.mod", "--module-path", "mods", "--console"], True,
             ["--module-path", "{A}\\mods"] + options + [APP_PATH_PROPERTY + "{X}", "-m", "demo.mod"]
             + arguments),
        ]
        for label, name, case_options, console, expected in cases:
            with self.subTest(label):
                output = os.path.join(self.work, label.replace(" ", "_"))
                self.assertWritten(run_tool(self.base_options(name, output) + case_options + tool_options()),
                                   output)
                image = images.AppImage(output, name)
                self.assertEqual(sorted(os.listdir(output)), sorted([name + ".exe", "app", "runtime"]))
                self.assertEqual(pe_subsystem(image.exe),
                                 IMAGE_SUBSYSTEM_WINDOWS_CUI if console else IMAGE_SUBSYSTEM_WINDOWS_GUI)
                run = images.run(self.tools, image)
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertEqual(run.call.arguments(), [image.win_exe] + [
                    arg.replace("{A}", image.win_app_dir).replace("{R}", image.win_root)
                       .replace("{X}", image.win_exe) for arg in expected])
                self.assertEqual(run.call.argv_terminator, "null")
                # Arguments on the command line replace the defaults.
                self.assertEqual(images.run(self.tools, image, ["x y"]).call.arguments()[-1:], ["x y"])

        branded = os.path.join(self.work, "main_jar", "Orbit Über.exe")
        checked = subprocess.run(
            [sys.executable, CHECK_RESOURCES, branded, "--icon", icon, "--file-version", "2.5.1.0",
             "--product-version", "2.5.1.0", "--string", "ProductName=Orbit Über",
             "--string", "FileDescription=Orbit Über", "--string", "CompanyName=Orbit Works",
             "--string", "LegalCopyright=© 2026 Orbit Works", "--string", "OriginalFilename=Orbit Über.exe"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(checked.returncode, 0, checked.stdout.decode("utf-8", "replace"))

    def test_config_file_and_replacing_an_image(self):
        output = os.path.join(self.work, "Orbit")
        os.makedirs(os.path.join(output, "old"))
        options = ["--main-class", "Probe", "--class-path", "classes", "--force"] + \
            tool_options(["-Xmx64m"], ["a"])
        self.assertWritten(run_tool(self.base_options("Orbit", output) + options), output)
        with open(os.path.join(output, "app", "Orbit.cfg"), "rb") as f:
            self.assertEqual(f.read().decode("utf-8"),
                             "; Orbit: launcher config file (UTF-8), written by vantorix-image\n"
                             "[Application]\napp.classpath=$APPDIR\\classes\napp.mainclass=Probe\n"
                             "app.runtime=$ROOTDIR\\runtime\n[JavaOptions]\njava-options=-Xmx64m\n"
                             "[ArgOptions]\narguments=a\n")
        # The input directory's files, the launcher and the whole runtime.
        self.assertEqual(sorted(tree(os.path.join(output, "app"))),
                         sorted(list(tree(inputs.root)) + ["Orbit.cfg"]))
        self.assertEqual(tree(os.path.join(output, "runtime")), tree(self.tools.stub_runtime))
        # The old content is gone, and so is every temporary directory.
        self.assertFalse(os.path.exists(os.path.join(output, "old")))
        self.assertEqual(os.listdir(self.work), ["Orbit"])

    def test_tool_from_the_release_archive(self):
        # Unpacked, the tool finds the launchers beside itself, and their
        # target is the default.
        out = os.path.join(self.work, "dist")
        packed = subprocess.run(
            [os.environ["VX_E2E_CMAKE"], "-DBUILD_DIR=" + os.environ["VX_E2E_BUILD_DIR"], "-DOUT_DIR=" + out,
             "-P", os.path.join(os.environ["VX_E2E_SOURCE_DIR"], "cmake", "Package.cmake")],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        self.assertEqual(packed.returncode, 0, packed.stdout.decode(errors="replace"))
        archive = [name for name in os.listdir(out) if name.endswith(".zip")][0]
        with zipfile.ZipFile(os.path.join(out, archive)) as z:
            z.extractall(os.path.join(self.work, "unpacked"))
            mode = z.getinfo(archive[:-len(".zip")] + "/vantorix-image").external_attr >> 16
        self.assertTrue(mode & 0o100, oct(mode))
        top = os.path.join(self.work, "unpacked", archive[:-len(".zip")])
        output = os.path.join(self.work, "Orbit")
        code, stdout, stderr = run_tool(["--name", "Orbit", "--input", inputs.root, "--main-jar", "probe.jar",
                                         "--runtime", self.tools.stub_runtime, "--wine", self.wine],
                                        cwd=self.work, tool=os.path.join(top, "vantorix-image"))
        self.assertEqual((code, stderr), (0, ""), stdout)
        self.assertEqual(sorted(os.listdir(self.work)), ["Orbit", "dist", "unpacked"])
        image = images.AppImage(output, "Orbit")
        run = images.run(self.tools, image)
        self.assertEqual(run.call.arguments(), [image.win_exe, APP_PATH_PROPERTY + image.win_exe, "-jar",
                                                image.win_app_dir + "\\probe.jar"])

    def test_without_wine_the_image_is_unbranded(self):
        # The tool in this process, on a machine without any Wine.
        sys.path.insert(0, os.path.dirname(TOOL))
        from vantorix_image import brand, cli
        output = os.path.join(self.work, "Plain")
        options = [o for o in self.base_options("Plain", output) if o not in ("--wine", self.wine)]
        saved = dict(os.environ), brand.DEBIAN_LOADERS
        os.environ["PATH"] = ""
        brand.DEBIAN_LOADERS = {}
        stderr = io.StringIO()
        try:
            with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(stderr):
                code = cli.main(options + ["--main-jar", "probe.jar"], "")
        finally:
            os.environ.clear()
            os.environ.update(saved[0])
            brand.DEBIAN_LOADERS = saved[1]
        self.assertEqual((code, stderr.getvalue()), (0, "vantorix-image: note: Wine is not installed%s: the image "
                                                       "is not branded (run vantorix-brand.exe on Plain.exe under "
                                                       "Windows)\n" % (" for 32-bit programs" if self.machine == "x86"
                                                                       else "")))
        with open(os.path.join(output, "Plain.exe"), "rb") as f, open(self.tools.launcher, "rb") as launcher:
            self.assertEqual(f.read(), launcher.read())


class WindowsRefusalTest(WindowsTestCase):
    """Every refusal: exit code 1, one line naming what is wrong, and the
    output directory as it was, even with --force."""

    def test_refusals(self):
        runtimes = os.path.join(self.work, "runtimes")
        no_library = os.path.join(runtimes, "no-library")
        os.makedirs(os.path.join(no_library, "bin", "server"))
        other_machine = {"x64": 0x14C, "x86": 0x8664}[self.machine]
        wrong_machine = os.path.join(runtimes, "wrong-machine")
        shutil.copytree(self.tools.stub_runtime, wrong_machine)
        patched_machine(os.path.join(self.tools.stub_runtime, "bin", "jli.dll"),
                        os.path.join(wrong_machine, "bin", "jli.dll"),
                        lambda data: range(int.from_bytes(data[0x3C:0x40], "little") + 4,
                                           int.from_bytes(data[0x3C:0x40], "little") + 6),
                        other_machine.to_bytes(2, "little"))
        other_name = {"x64": "x86 (32-bit)", "x86": "x64 (64-bit)"}[self.machine]
        own_name = {"x64": "x64 (64-bit)", "x86": "x86 (32-bit)"}[self.machine]
        bad_icon = os.path.join(self.work, "bad.ico")
        with open(bad_icon, "wb") as out:
            out.write(b"\0\0\1\0\2\0" + b"\x10" * 20)
        plain_jar = os.path.join(self.work, "plain")
        shutil.copytree(inputs.root, plain_jar)
        Inputs.tool(["jar", "--create", "--file", os.path.join(plain_jar, "plain.jar"), "-C",
                     os.path.join(plain_jar, "classes"), "."])
        jar = ["--main-jar", "probe.jar"]
        # (label, options, message; {I} the input directory, {O} the output)
        cases = [
            ("missing jar", ["--main-jar", "missing.jar"],
             'the main jar "missing.jar" does not exist in the input directory {I}'),
            ("jar without a main class", ["--input", plain_jar, "--main-jar", "plain.jar"],
             "the main jar plain.jar has no Main-Class in its manifest"),
            ("main class in no jar", ["--main-class", "org.demo.Missing", "--class-path", "probe.jar",
                                      "--class-path", "lib/native part.jar"],
             "the main class org.demo.Missing is in none of the class-path entries probe.jar, "
             "lib%snative part.jar" % os.sep),
            ("main module not on the module path", ["--main-module", "other.mod", "--module-path", "mods"],
             "the main module other.mod is in none of the module-path entries mods (modules found: demo.mod)"),
            ("main class not in the module", ["--main-module", "demo.mod/org.demo.Missing", "--module-path", "mods"],
             "the main class org.demo.Missing is not in the module demo.mod"),
            ("missing splash", jar + ["--splash", "none.png"],
             'the splash image "none.png" does not exist in the input directory {I}'),
            ("runtime without the launch library", jar + ["--runtime", no_library],
             "the runtime %s has no bin\\jli.dll: it is not a Java runtime for windows-%s" % (no_library, self.machine)),
            ("runtime of the wrong machine type", jar + ["--runtime", wrong_machine],
             "the runtime's bin\\jli.dll is %s, but the launcher VantorixLauncher.exe is %s: they must match"
             % (other_name, own_name)),
            ("bad icon", jar + ["--icon", bad_icon],
             "the icon %s is not a valid .ico file: the directory of 2 images does not fit in the file" % bad_icon),
            ("bad version", jar + ["--version", "1.2.3.70000"], "the version \"1.2.3.70000\" is not 1 to 4 numbers"),
            ("line break in an argument", jar + ["--argument", "one\ntwo"],
             'the arguments value "one\\ntwo" holds a line break, which the config file cannot represent'),
            ("a class path in one option", ["--main-class", "Probe", "--class-path", "classes;lib"],
             "the class-path entry \"classes;lib\" holds ';', the windows-%s path-list separator" % self.machine),
            ("two entry points", jar + ["--main-class", "Probe"],
             "give one of --main-jar, --main-class and --main-module (given: --main-jar, --main-class)"),
            ("launchers of another target", jar + ["--target", {"x64": "windows-x86", "x86": "windows-x64"}[self.machine]],
             "the launcher %s is %s, but windows-%s needs %s" % (
                 os.path.join(self.launchers, "VantorixLauncher.exe"), own_name,
                 {"x64": "x86", "x86": "x64"}[self.machine], other_name)),
            ("output inside the input", jar + ["--output", os.path.join(inputs.root, "out")],
             "the output directory %s lies inside the input directory {I}" % os.path.join(inputs.root, "out")),
            # Checks pass; the branding tool fails after the image was built
            # beside the output: nothing of it may stay.
            ("failure while writing", jar + ["--wine", "false"], "branding failed: exit code 1"),
            ("non-empty output without --force", ["--main-jar", "probe.jar", "--no-force"], "the output directory {O} is not empty: "
             "give --force to replace it"),
        ]
        for label, options, message in cases:
            with self.subTest(label):
                parent = os.path.join(self.work, label.replace(" ", "_"))
                output = os.path.join(parent, "Orbit")
                os.makedirs(output)
                with open(os.path.join(output, "keep.txt"), "w") as out:
                    out.write("the old image")
                args = self.base_options("Orbit", output)
                # A case's option replaces the base one of the same name.
                for at in range(0, len(options) - 1, 2):
                    if options[at] in args[::2] and options[at] not in REPEATABLE:
                        args[args.index(options[at]) + 1] = options[at + 1]
                    else:
                        args += options[at:at + 2]
                if options[-1:] != ["--no-force"]:
                    args.append("--force")
                before = tree(inputs.root)
                code, stdout, stderr = run_tool(args)
                expected = "vantorix-image: " + message.replace("{I}", inputs.root).replace("{O}", output)
                self.assertEqual((code, stdout), (1, ""), stderr)
                self.assertEqual(len(stderr.splitlines()), 1, stderr)
                self.assertTrue(stderr.startswith(expected), stderr)
                self.assertEqual(tree(output), {"keep.txt": b"the old image"})
                self.assertEqual(os.listdir(parent), ["Orbit"])
                self.assertEqual(tree(inputs.root), before)

    def test_help_lists_every_option(self):
        code, stdout, stderr = run_tool(["--help"])
        self.assertEqual((code, stderr), (0, ""))
        sys.path.insert(0, os.path.dirname(TOOL))
        from vantorix_image import cli
        for option in cli.VALUES + cli.LISTS + cli.FLAGS:
            self.assertIn("--" + option + " ", stdout)
        self.assertIn("Example:\n  vantorix-image --name Orbit", stdout)
        self.assertEqual(run_tool(["--name", "x", "--input", ".", "--colour", "red"]),
                         (1, "", "vantorix-image: unknown option --colour (see --help)\n"))


class LinuxImageTest(ToolTestCase):
    """An image for linux-x64 with a copy of the installed Java 17 runtime,
    run: the program's output shows what reached it."""

    @classmethod
    def setUpClass(cls):
        cls.runtime, reason = linux_image.find_runtime("x86_64")
        if cls.runtime is None:
            print("SKIPPED: " + reason, flush=True)
            raise unittest.SkipTest(reason)
        super().setUpClass()
        cls.launcher = os.environ["VX_E2E_LINUX_LAUNCHER"]

    def run_image(self, exe, args=()):
        environment = dict(os.environ, LC_ALL="C.UTF-8", VANTORIX_DEBUG="true")
        for name in ("LD_LIBRARY_PATH", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
            environment.pop(name, None)
        if os.environ.get("VX_E2E_SANITIZED"):
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        return subprocess.run([exe] + list(args), stdin=subprocess.DEVNULL, capture_output=True, env=environment,
                              timeout=120)

    def test_image_runs_the_program(self):
        output = os.path.join(self.work, "Orbit Demo")
        value = "with spaces, ünïcödé = Юлия"
        self.assertWritten(run_tool(
            ["--name", "Orbit Demo", "--input", inputs.root, "--main-jar", "probe.jar", "--runtime", self.runtime,
             "--launchers", os.path.dirname(self.launcher), "--output", output]
            + tool_options(["-Dprobe.value=" + value, "-Xmx64m"], ["two words", "", "Jörg=1", "$ROOTDIR"])), output)
        with open(os.path.join(output, "app", "Orbit Demo.cfg"), "rb") as f:
            self.assertIn(b"app.mainjar=$APPDIR/probe.jar\napp.runtime=$ROOTDIR/runtime\n", f.read())
        exe = os.path.join(output, "Orbit Demo")
        completed = self.run_image(exe)
        stderr = completed.stderr.decode("utf-8", "replace")
        self.assertEqual(completed.returncode, 0, stderr)
        # The config file loads without a warning (the debug trace tells).
        self.assertIn("TRACE", stderr)
        self.assertNotIn("WARNING", stderr)
        result = Output(completed.stdout)
        self.assertEqual(result.lines[0], "main=Probe")
        self.assertEqual(result.args, ["two words", "", "Jörg=1", output])
        self.assertEqual(result.text("value"), value)
        self.assertEqual(result.text("app-path"), exe)

    def test_runtime_refusals(self):
        runtimes = os.path.join(self.work, "runtimes")
        no_library = os.path.join(runtimes, "no-library")
        os.makedirs(os.path.join(no_library, "bin"))
        wrong_machine = os.path.join(runtimes, "wrong-machine")
        # ELF class 1 and machine 3: a 32-bit x86 library.
        patched_machine(os.path.join(self.runtime, "lib", "libjli.so"),
                        os.path.join(wrong_machine, "lib", "libjli.so"), lambda data: (4, 18, 19), (1, 3, 0))
        cases = [
            (no_library, "the runtime %s has no lib/libjli.so: it is not a Java runtime for linux-x64" % no_library),
            (wrong_machine, "the runtime's lib/libjli.so is x86 (32-bit), but the launcher VantorixLauncher is "
                            "x64 (64-bit): they must match"),
        ]
        for runtime, message in cases:
            with self.subTest(runtime):
                output = os.path.join(self.work, "out")
                code, stdout, stderr = run_tool(["--name", "Orbit", "--input", inputs.root, "--main-jar", "probe.jar",
                                                 "--runtime", runtime, "--launchers", os.path.dirname(self.launcher),
                                                 "--output", output])
                self.assertEqual((code, stdout, stderr), (1, "", "vantorix-image: %s\n" % message))
                self.assertFalse(os.path.exists(output))


if __name__ == "__main__":
    unittest.main()
