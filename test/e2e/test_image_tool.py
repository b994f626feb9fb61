"""End-to-end tests of the image tool, vantorix-image.jar: images made from
a jar, a main class and a main module, and the tool's refusals.

    test_image_tool.py [-v] WindowsImageTest|WindowsRefusalTest
        (under Wine with the stub runtime; the variables of test_launcher.py)
    test_image_tool.py [-v] LinuxImageTest|RuntimeServicesTest
        (with the installed Java 17 runtime, and Java 25 where it is under
        /usr/lib/jvm; VX_E2E_LINUX_LAUNCHER)

Besides those: VX_E2E_IMAGE_TOOL (the jar, run with the `java` on PATH) and
VX_E2E_SOURCE_DIR. The input directories hold real jars and real modules,
compiled here with javac and jar at test time.
"""

import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
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
from test_fast_start import newer_runtime  # noqa: E402

SOURCES = os.path.join(here, "java")
TOOL = os.environ.get("VX_E2E_IMAGE_TOOL", "")
JAVA = shutil.which("java")

# Options and arguments that a config file line must carry unchanged: blanks,
# '=', non-ASCII text, the comment and header characters, an empty value.
JAVA_OPTIONS = ["-Dorbit.greeting=Grüß Gott, Юлия", "-Dkey=a=b", "-Dempty=", ";-Dnot.a.comment",
                "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Dhome=$APPDIR"]
ARGUMENTS = ["two words", "", "Jörg=1", "[not a header]", "\\=", "$ROOTDIR"]

REPEATABLE = ("--class-path", "--module-path", "--java-option", "--argument", "--user-option")
MARK = ".vantorix-image"


def tool_options(java_options=JAVA_OPTIONS, arguments=ARGUMENTS):
    options = []
    for option in java_options:
        options += ["--java-option", option]
    for argument in arguments:
        options += ["--argument", argument]
    return options


def tool_environment():
    environment = dict(os.environ, LC_ALL="C.UTF-8")
    for name in ("JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"):
        environment.pop(name, None)
    return environment


def tool_command(tool=None, java_options=()):
    """The starter given, else the jar run by the `java` on PATH."""
    return [tool] if tool else [JAVA] + list(java_options) + ["-jar", TOOL]


def run_tool(args, cwd=None, tool=None, java_options=(), env=None):
    """(exit code, stdout, stderr) of one run of the tool."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(tool_command(tool, java_options) + list(args), stdin=subprocess.DEVNULL,
                              stdout=out, stderr=err, cwd=cwd, env=env or tool_environment(),
                              timeout=600).returncode
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


def old_image(output, name="Orbit"):
    """An image as the tool leaves it, for --force to replace: its mark, its
    config file and one more file."""
    os.makedirs(os.path.join(output, "app"))
    with open(os.path.join(output, MARK), "w") as out:
        out.write("written by vantorix-image\nconfig=app/%s.cfg\n" % name)
    with open(os.path.join(output, "app", name + ".cfg"), "w") as out:
        out.write("[Application]\napp.mainclass=Old\n")
    with open(os.path.join(output, "keep.txt"), "w") as out:
        out.write("the old image")


def patched_machine(source, target, offset_of, value):
    """A copy of a library with its machine type changed."""
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(source, "rb") as f:
        data = bytearray(f.read())
    for offset, byte in zip(offset_of(data), value):
        data[offset] = byte
    with open(target, "wb") as out:
        out.write(data)


def merged(args, options):
    """The base options with a case's: one of the same name replaces the
    base one, unless it is repeatable."""
    args = list(args)
    for at in range(0, len(options) - 1, 2):
        if options[at] in args[::2] and options[at] not in REPEATABLE:
            args[args.index(options[at]) + 1] = options[at + 1]
        else:
            args += options[at:at + 2]
    return args


def write_script(path, text):
    with open(path, "w") as out:
        out.write("#!/bin/sh\n" + text)
    os.chmod(path, 0o755)
    return path


def bad_jars(directory):
    """Jars that the tool must refuse in one line: (file name, text the
    refusal holds)."""
    os.makedirs(directory, exist_ok=True)
    manifest = b"Manifest-Version: 1.0\r\nMain-Class: Probe\r\n\r\n"

    def jar(name, entries, compression=zipfile.ZIP_DEFLATED):
        path = os.path.join(directory, name)
        with zipfile.ZipFile(path, "w", compression) as z:
            for entry, data in entries:
                z.writestr(entry, data)
        with open(path, "rb") as f:
            return path, bytearray(f.read())

    def rewrite(path, data):
        with open(path, "wb") as out:
            out.write(data)

    # A stored manifest with one byte changed: its CRC no longer matches.
    path, data = jar("bad-crc.jar", [("META-INF/MANIFEST.MF", manifest)], zipfile.ZIP_STORED)
    at = data.index(b"Main-Class")
    data[at] = ord("N")
    rewrite(path, data)
    # The encryption flag set on the manifest's entries.
    path, data = jar("encrypted.jar", [("META-INF/MANIFEST.MF", manifest)])
    for signature, offset in ((b"PK\x03\x04", 6), (b"PK\x01\x02", 8)):
        at = data.index(signature) + offset
        data[at] |= 1
    rewrite(path, data)
    # A manifest that inflates to 12 MiB from a few kilobytes.
    jar("huge-manifest.jar", [("META-INF/MANIFEST.MF", manifest[:-2] + b"X-Filler: " + b"a" * 70 + b"\r\n"
                               + (b" " + b"a" * 69 + b"\r\n") * ((12 << 20) // 72) + b"\r\n")])
    with open(os.path.join(directory, "text.jar"), "wb") as out:
        out.write(b"not a zip file at all\n")
    return [("bad-crc.jar", "is damaged"), ("encrypted.jar", "encrypted"),
            ("huge-manifest.jar", "a jar may hold"), ("text.jar", "zip")]


class Inputs:
    """The input directory: probe.jar (main jar), classes/ and "lib/native
    part.jar" (a two-entry class path), mods/demo.mod.jar (a module whose
    jar names its main class), splash.png; report/ with report.jar (a jar
    that needs java.xml and java.logging) and report-mods/ (a named module
    that needs java.logging, and an automatic one that needs java.xml)."""

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

        sources = os.path.join(SOURCES, "image")
        self.report = os.path.join(work, "report")
        report_classes = os.path.join(work, "report-classes")
        self.tool(["javac", "-d", report_classes, os.path.join(sources, "Report.java"),
                   os.path.join(SOURCES, "Probe.java"), os.path.join(SOURCES, "Native.java")])
        os.makedirs(os.path.join(self.report, "report-mods"))
        self.tool(["jar", "--create", "--file", os.path.join(self.report, "report.jar"), "--main-class", "Report",
                   "-C", report_classes, "."])
        lib_classes = os.path.join(work, "report-lib-classes")
        self.tool(["javac", "-d", lib_classes, os.path.join(sources, "report-lib", "org", "report", "lib", "Xml.java")])
        lib_jar = os.path.join(self.report, "report-mods", "report-lib.jar")
        self.tool(["jar", "--create", "--file", lib_jar, "-C", lib_classes, "."])
        module_sources = os.path.join(sources, "demo.report")
        report_module = os.path.join(work, "report-module-classes")
        self.tool(["javac", "-d", report_module, "--module-path", lib_jar,
                   os.path.join(module_sources, "module-info.java"),
                   os.path.join(module_sources, "org", "demo", "report", "Main.java")])
        self.tool(["jar", "--create", "--file", os.path.join(self.report, "report-mods", "demo.report.jar"),
                   "--main-class", "org.demo.report.Main", "-C", report_module, "."])

    tool = staticmethod(Programs.tool)

    def variant(self, work, name):
        """A copy of the input directory to change for one case."""
        copy = os.path.join(work, name)
        shutil.copytree(self.root, copy)
        return copy


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
        if not TOOL or not os.path.isfile(TOOL) or not JAVA:
            raise RuntimeError("the image tool's jar (VX_E2E_IMAGE_TOOL=%r) or java is missing" % TOOL)
        # Compiled once, for the first class that runs.
        global inputs
        if inputs is None:
            inputs = Inputs(work_root)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-tool-", dir=work_root)
        self.addCleanup(shutil.rmtree, self.work, True)

    def assertWritten(self, result, output):
        """Written, with nothing on standard error; the summary ends with the
        image's size and where it is. Returns the summary's lines."""
        code, stdout, stderr = result
        self.assertEqual((code, stderr.splitlines()), (0, []), stdout)
        lines = [line for line in stdout.splitlines() if line.startswith("vantorix-image: ")]
        self.assertEqual(lines[-1], "vantorix-image: wrote %s" % output)
        self.assertRegex(lines[-2], r"^vantorix-image: image: \d+\.\d [KM]B$")
        return lines

    def assertRefused(self, result, message):
        code, stdout, stderr = result
        self.assertEqual(code, 1, stdout + stderr)
        self.assertEqual(len(stderr.splitlines()), 1, stderr)
        self.assertTrue(stderr.startswith("vantorix-image: " + message), stderr)


class WindowsTestCase(ToolTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.tools = images.Tools.from_environment()
        cls.launchers = os.path.dirname(cls.tools.launcher)
        cls.wine = "%s --arch=%s" % (shlex.quote(cls.tools.wine_run), cls.tools.arch)
        cls.machine = {"x86_64": "x64", "i686": "x86"}[cls.tools.arch]

    def base_options(self, name, output, launchers=None):
        return ["--name", name, "--input", inputs.root, "--runtime", self.tools.stub_runtime,
                "--launchers", launchers or self.launchers, "--wine", self.wine, "--output", output]

    def launchers_copy(self, *extra):
        """The launchers alone in a directory, with extra (name, script)."""
        directory = os.path.join(self.work, "kit")
        os.makedirs(directory)
        for name in ("VantorixLauncher.exe", "VantorixLauncherConsole.exe"):
            shutil.copy(os.path.join(self.launchers, name), directory)
        for name, text in extra:
            write_script(os.path.join(directory, name), text)
        return directory


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
                lines = self.assertWritten(
                    run_tool(self.base_options(name, output) + case_options + tool_options()), output)
                self.assertRegex(lines[-3], r"^vantorix-image: runtime: \d+\.\d [KM]B, a copy of %s$"
                                 % self.tools.stub_runtime)
                image = images.AppImage(output, name)
                self.assertEqual(sorted(os.listdir(output)), sorted([MARK, name + ".exe", "app", "runtime"]))
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
        old_image(output)
        options = ["--main-class", "Probe", "--class-path", "classes", "--force", "--user-option", "-Xmx",
                   "--user-option", "-Duser.language="] + tool_options(["-Xmx64m"], ["a"])
        self.assertWritten(run_tool(self.base_options("Orbit", output) + options), output)
        with open(os.path.join(output, "app", "Orbit.cfg"), "rb") as f:
            self.assertEqual(f.read().decode("utf-8"),
                             "; Orbit: launcher config file (UTF-8), written by vantorix-image\n"
                             "[Application]\napp.classpath=$APPDIR\\classes\napp.mainclass=Probe\n"
                             "app.runtime=$ROOTDIR\\runtime\napp.fast-start=true\napp.user-options=-Xmx\n"
                             "app.user-options=-Duser.language=\n[JavaOptions]\njava-options=-Xmx64m\n"
                             "[ArgOptions]\narguments=a\n")
        # The input directory's files, the launcher and the whole runtime.
        self.assertEqual(sorted(tree(os.path.join(output, "app"))),
                         sorted(list(tree(inputs.root)) + ["Orbit.cfg"]))
        self.assertEqual(tree(os.path.join(output, "runtime")), tree(self.tools.stub_runtime))
        # The old content is gone, and so is every temporary directory.
        self.assertFalse(os.path.exists(os.path.join(output, "keep.txt")))
        self.assertEqual(os.listdir(self.work), ["Orbit"])

        # The image just written is one that --force replaces; without the
        # class-data cache this time.
        self.assertWritten(run_tool(self.base_options("Orbit", output) + options + ["--no-fast-start"]), output)
        with open(os.path.join(output, "app", "Orbit.cfg"), "rb") as f:
            self.assertNotIn(b"app.fast-start", f.read())

    def test_links_inside_the_input_are_copied_as_files(self):
        source = inputs.variant(self.work, "linked")
        os.symlink("probe.jar", os.path.join(source, "alias.jar"))
        os.symlink("classes", os.path.join(source, "more-classes"))
        output = os.path.join(self.work, "Linked")
        self.assertWritten(run_tool(merged(self.base_options("Linked", output),
                                           ["--input", source, "--main-jar", "alias.jar"])), output)
        app = os.path.join(output, "app")
        self.assertFalse(os.path.islink(os.path.join(app, "alias.jar")))
        self.assertFalse(os.path.islink(os.path.join(app, "more-classes")))
        self.assertEqual(tree(os.path.join(app, "more-classes")), tree(os.path.join(source, "classes")))
        self.assertEqual(images.run(self.tools, images.AppImage(output, "Linked")).exit_code, 0)

    def test_branding_tool_execution_level_and_sign_command(self):
        log = os.path.join(self.work, "brand.log")
        signed = os.path.join(self.work, "sign.log")
        recorder = 'printf "%%s\\n" "$0" "$@" > %s\n' % shlex.quote(log)
        brand_tool = write_script(os.path.join(self.work, "brand-tool"), recorder)
        # A sign tool may talk in another character set than UTF-8.
        sign = "printf signed >> {} && echo {} >> %s && printf 'sign\\351\\n'" % shlex.quote(signed)
        output = os.path.join(self.work, "Orbit")
        self.assertWritten(run_tool(self.base_options("Orbit", output) + [
            "--main-jar", "probe.jar", "--brand-tool", brand_tool, "--execution-level", "requireAdministrator",
            "--vendor", "Orbit Works", "--sign-command", sign]), output)
        with open(log) as f:
            words = f.read().splitlines()
        # The executable is branded and signed before the image is moved into
        # place, beside the output.
        staged = words[1]
        self.assertEqual((os.path.basename(staged), os.path.dirname(os.path.dirname(staged))),
                         ("Orbit.exe", self.work))
        self.assertEqual(words[2:], ["--product-name", "Orbit", "--original-filename", "Orbit.exe",
                                     "--description", "Orbit", "--company", "Orbit Works",
                                     "--execution-level", "requireAdministrator"])
        with open(signed) as f:
            self.assertEqual(f.read().splitlines(), [staged])
        with open(os.path.join(output, "Orbit.exe"), "rb") as f:
            self.assertTrue(f.read().endswith(b"signed"))

        # By default a native branding tool beside the launchers comes before
        # vantorix-brand.exe under Wine; without any, the image is unbranded.
        for label, kit, note in [
                ("native tool", self.launchers_copy(("vantorix-brand", recorder)), None),
                ("no tool", None, "no vantorix-brand.exe beside the launchers: the image is not branded")]:
            with self.subTest(label):
                if kit is None:
                    shutil.rmtree(os.path.join(self.work, "kit"))
                    kit = self.launchers_copy()
                if os.path.exists(log):
                    os.remove(log)
                output = os.path.join(self.work, label.replace(" ", "_"))
                code, stdout, stderr = run_tool(merged(self.base_options("Plain", output, kit),
                                                       ["--main-jar", "probe.jar", "--wine", "false"]))
                self.assertEqual(code, 0, stderr)
                if note:
                    self.assertEqual(stderr, "vantorix-image: note: %s\n" % note)
                    self.assertFalse(os.path.exists(log))
                    with open(os.path.join(output, "Plain.exe"), "rb") as f, \
                            open(self.tools.launcher, "rb") as launcher:
                        self.assertEqual(f.read(), launcher.read())
                else:
                    self.assertEqual(stderr, "")
                    with open(log) as f:
                        self.assertEqual(f.readline().strip(), os.path.join(kit, "vantorix-brand"))

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
        top_name = archive[:-len(".zip")]
        with zipfile.ZipFile(os.path.join(out, archive)) as z:
            z.extractall(os.path.join(self.work, "unpacked"))
            mode = z.getinfo(top_name + "/vantorix-image").external_attr >> 16
            names = z.namelist()
        self.assertTrue(mode & 0o100, oct(mode))
        for shipped in ("vantorix-image.jar", "vantorix-image.cmd"):
            self.assertIn(top_name + "/" + shipped, names)
        top = os.path.join(self.work, "unpacked", top_name)
        starter = os.path.join(top, "vantorix-image")
        os.chmod(starter, 0o755)
        output = os.path.join(self.work, "Orbit")
        code, stdout, stderr = run_tool(["--name", "Orbit", "--input", inputs.root, "--main-jar", "probe.jar",
                                         "--runtime", self.tools.stub_runtime, "--wine", self.wine],
                                        cwd=self.work, tool=starter)
        self.assertEqual((code, stderr), (0, ""), stdout)
        self.assertEqual(sorted(os.listdir(self.work)), ["Orbit", "dist", "unpacked"])
        image = images.AppImage(output, "Orbit")
        run = images.run(self.tools, image)
        self.assertEqual(run.call.arguments(), [image.win_exe, APP_PATH_PROPERTY + image.win_exe, "-jar",
                                                image.win_app_dir + "\\probe.jar"])

        # The starter says what is missing when it finds no Java runtime.
        empty = os.path.join(self.work, "empty")
        os.makedirs(empty)
        environment = dict(tool_environment(), PATH=empty)
        environment.pop("JAVA_HOME", None)
        for label, extra, message in [
                ("nothing on PATH", {}, "vantorix-image: no Java runtime found: install a JDK 17 or later"),
                ("JAVA_HOME without java", {"JAVA_HOME": empty},
                 "vantorix-image: JAVA_HOME is %s, but it has no bin/java" % empty)]:
            with self.subTest(label):
                completed = subprocess.run(["/bin/sh", starter, "--help"], capture_output=True,
                                           env=dict(environment, **extra), timeout=60)
                self.assertEqual((completed.returncode, completed.stdout), (1, b""))
                self.assertTrue(completed.stderr.decode().startswith(message), completed.stderr)
        # The same for the Windows starter, under Wine with nothing on its PATH.
        windows_starter = images.windows_path(os.path.join(top, "vantorix-image.cmd"))
        for label, java_home, message in [
                ("nothing on PATH", None, "vantorix-image: no Java runtime found: install a JDK 17 or later"),
                ("JAVA_HOME without java", "C:\\nojava",
                 "vantorix-image: JAVA_HOME is C:\\nojava, but it has no bin\\java.exe")]:
            with self.subTest("cmd: " + label):
                environment = dict(tool_environment(), WINEPATH="")
                environment.pop("JAVA_HOME", None)
                if java_home:
                    environment["JAVA_HOME"] = java_home
                log = os.path.join(self.work, "cmd.log")
                with open(log, "wb") as sink:
                    # Files, not pipes: Wine's helpers would keep a pipe open.
                    code = subprocess.run(self.tools.wine_command("cmd", ["/c", windows_starter, "--help"]),
                                          stdin=subprocess.DEVNULL, stdout=sink, stderr=sink, env=environment,
                                          timeout=120).returncode
                with open(log, "rb") as f:
                    text = f.read().decode("utf-8", "replace")
                self.assertEqual(code, 1, text)
                self.assertTrue(text.startswith(message), text)


class WindowsRefusalTest(WindowsTestCase):
    """The refusals that need the real launchers, the stub runtime or real
    jars, links and programs: exit code 1, one line naming what is wrong, and
    the output directory as it was, even with --force. (Those that need none
    are in the unit tests, tools/image/src/test/java.)"""

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
        broken = inputs.variant(self.work, "broken")
        broken_jars = bad_jars(broken)
        fake_brand = write_script(os.path.join(self.work, "brand-tool"), "exit 0\n")
        jar = ["--main-jar", "probe.jar"]
        jmods = os.path.join(os.path.dirname(os.path.dirname(os.path.realpath(JAVA))), "jmods")
        # (label, options, message; {I} the input directory, {O} the output;
        # --no-force, --no-runtime and --not-an-image change the base case)
        cases = [
            ("main module not on the module path", ["--main-module", "other.mod", "--module-path", "mods"],
             "the main module other.mod is in none of the module-path entries mods (modules found: demo.mod)"),
            ("main class not in the module", ["--main-module", "demo.mod/org.demo.Missing", "--module-path", "mods"],
             "the main class org.demo.Missing is not in the module demo.mod"),
            ("runtime without the launch library", jar + ["--runtime", no_library],
             "the runtime %s has no bin\\jli.dll: it is not a Java runtime for windows-%s" % (no_library, self.machine)),
            ("runtime of the wrong machine type", jar + ["--runtime", wrong_machine],
             "the runtime's bin\\jli.dll is %s, but the launcher VantorixLauncher.exe is %s: they must match"
             % (other_name, own_name)),
            ("modules of another platform", jar + ["--no-runtime"],
             "the JDK modules in %s are for linux-amd64, but the launchers are for windows-%s (windows-%s)"
             % (jmods, self.machine, {"x64": "amd64", "x86": "x86"}[self.machine])),
            ("bad icon", jar + ["--icon", bad_icon],
             "the icon %s is not a valid .ico file: the directory of 2 images does not fit in the file" % bad_icon),
            ("user option with a line break", jar + ["--user-option", "-Xmx\n-javaagent:x"],
             'the --user-option value "-Xmx\\n-javaagent:x" holds a line break'),
            ("list separator; in the output", jar, "the output directory {O} holds ';', the windows-%s path-list "
             "separator" % self.machine),
        ] + [
            ("malformed jar " + name, ["--input", broken, "--main-jar", name],
             "%s is not a readable jar: " % os.path.join(broken, name), text)
            for name, text in broken_jars
        ] + [
            ("launchers of another target", jar + ["--target", {"x64": "windows-x86", "x86": "windows-x64"}[self.machine]],
             "the launcher %s is %s, but windows-%s needs %s" % (
                 os.path.join(self.launchers, "VantorixLauncher.exe"), own_name,
                 {"x64": "x86", "x86": "x64"}[self.machine], other_name)),
            ("output inside the input", jar + ["--output", os.path.join(inputs.root, "out")],
             "the output directory %s lies inside the input directory {I}" % os.path.join(inputs.root, "out")),
            # Checks pass; the branding tool or the sign command fails after
            # the image was built beside the output: nothing of it may stay.
            ("failure while writing", jar + ["--wine", "false"], "branding failed: exit code 1"),
            ("failing sign command", jar + ["--brand-tool", fake_brand, "--sign-command", "echo no key >&2; exit 3"],
             "the sign command failed on Orbit.exe with exit code 3: no key"),
            ("non-empty output without --force", jar + ["--no-force"], "the output directory {O} is not empty: "
             "give --force to replace it"),
            ("--force over a directory the tool did not write", jar + ["--not-an-image"],
             "the output directory {O} is no image that vantorix-image wrote"),
        ]
        for case in cases:
            label, options, message = case[:3]
            with self.subTest(label):
                parent = os.path.join(self.work, label.replace(" ", "_"))
                output = os.path.join(parent, "Orbit")
                if "--not-an-image" in options:
                    os.makedirs(output)
                    with open(os.path.join(output, "keep.txt"), "w") as out:
                        out.write("the old image")
                else:
                    old_image(output)
                args = self.base_options("Orbit", output)
                flags = [o for o in options if o in ("--no-force", "--no-runtime", "--not-an-image")]
                options = [o for o in options if o not in flags]
                if "--no-runtime" in flags:
                    at = args.index("--runtime")
                    del args[at:at + 2]
                args = merged(args, options)
                if "--no-force" not in flags:
                    args.append("--force")
                before = tree(inputs.root)
                old = tree(output)
                result = run_tool(args)
                self.assertRefused(result, message.replace("{I}", inputs.root).replace("{O}", output))
                if len(case) > 3:
                    self.assertIn(case[3], result[2])
                self.assertEqual(tree(output), old)
                self.assertEqual(os.listdir(parent), ["Orbit"])
                self.assertEqual(tree(inputs.root), before)

    def test_force_never_replaces_what_the_tool_reads_or_stands_in(self):
        # Each output is laid out as an image of the tool, so that only this
        # check stands in the way, and holds in "held" what the tool reads,
        # the current directory or the home directory.
        kit = self.launchers_copy()
        for label, what in [("input", "input directory"), ("launchers", "launchers directory"),
                            ("cwd", "current directory"), ("home", "home directory")]:
            with self.subTest(label):
                output = os.path.join(self.work, label + "-output")
                old_image(output)
                held = os.path.join(output, "held")
                shutil.copytree({"input": inputs.root, "launchers": kit}.get(label, kit), held)
                options = {"input": ["--input", held], "launchers": ["--launchers", held]}.get(label, [])
                before = tree(output)
                result = run_tool(merged(self.base_options("Orbit", output, kit), options)
                                  + ["--main-jar", "probe.jar", "--force"],
                                  cwd=held if label == "cwd" else None,
                                  java_options=["-Duser.home=" + held] if label == "home" else [])
                self.assertRefused(result, "the %s %s lies inside the output directory %s, which the image "
                                           "replaces" % (what, held, output))
                self.assertEqual(tree(output), before)

    def test_interruption_puts_the_old_image_back(self):
        started = os.path.join(self.work, "started")
        slow_brand = write_script(os.path.join(self.work, "brand-tool"),
                                  "touch %s\nsleep 60\n" % shlex.quote(started))
        for name in ("SIGINT", "SIGTERM"):
            with self.subTest(name):
                parent = os.path.join(self.work, name)
                output = os.path.join(parent, "Orbit")
                old_image(output)
                before = tree(output)
                process = subprocess.Popen(
                    tool_command() + self.base_options("Orbit", output)
                    + ["--main-jar", "probe.jar", "--force", "--brand-tool", slow_brand],
                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                    env=tool_environment())
                deadline = time.monotonic() + 120
                while not os.path.exists(started) and process.poll() is None and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertTrue(os.path.exists(started), process.stderr.read() if process.poll() else "")
                os.remove(started)
                process.send_signal(getattr(signal, name))
                _, stderr = process.communicate(timeout=120)
                self.assertNotEqual(process.returncode, 0, stderr)
                self.assertEqual(tree(output), before)
                self.assertEqual(os.listdir(parent), ["Orbit"])


class LinuxTestCase(ToolTestCase):
    @classmethod
    def setUpClass(cls):
        cls.runtime, reason = linux_image.find_runtime("x86_64")
        if cls.runtime is None:
            print("SKIPPED: " + reason, flush=True)
            raise unittest.SkipTest(reason)
        super().setUpClass()
        cls.launcher = os.environ["VX_E2E_LINUX_LAUNCHER"]
        cls.launchers = os.path.dirname(cls.launcher)

    def run_image(self, exe, args=()):
        return linux_image.run(exe, args)


def release_modules(runtime):
    with open(os.path.join(runtime, "release")) as f:
        for line in f:
            if line.startswith("MODULES="):
                return line.split("=", 1)[1].strip().strip('"').split()
    return None


class LinuxImageTest(LinuxTestCase):
    """Images for linux-x64 with a runtime that the tool links from the
    installed Java 17 JDK, run: the program's output shows what reached it."""

    def test_jar_image_with_a_linked_runtime(self):
        output = os.path.join(self.work, "Report Demo")
        value = "with spaces, ünïcödé = Юлия"
        lines = self.assertWritten(run_tool(
            ["--name", "Report Demo", "--input", inputs.report, "--main-jar", "report.jar", "--launchers",
             self.launchers, "--output", output, "--add-modules", "jdk.crypto.ec", "--verbose"]
            + tool_options(["-Dprobe.value=" + value, "-Xmx64m"], ["two words", "", "Jörg=1", "$ROOTDIR"])),
            output)
        for module, reason in [("java.xml", "the application's classes"), ("jdk.crypto.ec", "--add-modules"),
                               ("jdk.zipfs", "a run-time service: java.nio.file.spi.FileSystemProvider")]:
            self.assertIn("vantorix-image:   %s: %s" % (module, reason), lines)
        self.assertRegex("\n".join(lines), r"vantorix-image: jdeps .*--print-module-deps.* %s\n"
                         % os.path.join(inputs.report, "report.jar"))
        # jlink's arguments, unless the runtime cache of the tests had it.
        self.assertRegex("\n".join(lines), r"vantorix-image: jlink .*--strip-debug --no-header-files "
                                           r"--no-man-pages --compress=2:filter=/jdk.localedata/\*\* "
                                           r"--generate-cds-archive --output |runtime: reused from the runtime cache")
        self.assertRegex(lines[-3], r"^vantorix-image: runtime: \d+\.\d MB, linked by jlink with a class-data "
                                    r"archive$")
        runtime = os.path.join(output, "runtime")
        self.assertEqual(sorted(release_modules(runtime)), [
            "java.base", "java.logging", "java.xml", "jdk.charsets", "jdk.crypto.cryptoki", "jdk.crypto.ec",
            "jdk.localedata", "jdk.random", "jdk.unsupported", "jdk.zipfs"])
        self.assertTrue(os.path.isfile(os.path.join(runtime, "lib", "server", "classes.jsa")))
        self.assertFalse(os.path.exists(os.path.join(runtime, "lib", "server", "classes_nocoops.jsa")))
        with open(os.path.join(output, "app", "Report Demo.cfg"), "rb") as f:
            self.assertIn(b"app.mainjar=$APPDIR/report.jar\napp.runtime=$ROOTDIR/runtime\napp.fast-start=true\n",
                          f.read())
        exe = os.path.join(output, "Report Demo")
        completed = self.run_image(exe)
        self.assertEqual((completed.returncode, completed.stderr), (0, b""))
        result = Output(completed.stdout)
        self.assertEqual(result.lines[:3], ["main=Report", "xml=hello", "logger=report"])
        self.assertEqual(result.args, ["two words", "", "Jörg=1", output])
        self.assertEqual(result.text("value"), value)
        self.assertEqual(result.text("app-path"), exe)

    def test_main_module_image(self):
        output = os.path.join(self.work, "Modular")
        lines = self.assertWritten(run_tool(
            ["--name", "Modular", "--input", inputs.report, "--main-module", "demo.report",
             "--module-path", "report-mods", "--launchers", self.launchers, "--output", output]), output)
        # java.xml comes from the automatic module's classes; nothing requires
        # it, so the runtime is told to resolve it.
        self.assertIn("vantorix-image:   java.xml: the application's classes", lines)
        with open(os.path.join(output, "app", "Modular.cfg"), "rb") as f:
            self.assertIn(b"[JavaOptions]\njava-options=--add-modules=java.xml\n", f.read())
        self.assertLessEqual({"java.base", "java.logging", "java.xml"}, set(release_modules(os.path.join(output, "runtime"))))
        completed = self.run_image(os.path.join(output, "Modular"))
        self.assertEqual((completed.returncode, completed.stderr), (0, b""))
        self.assertEqual(completed.stdout.decode(), "module=demo.report xml=hello logger=report\n")



def elf_sections(path):
    """The section names of a 64-bit little-endian ELF file."""
    with open(path, "rb") as f:
        data = f.read()
    shoff = int.from_bytes(data[0x28:0x30], "little")
    size, count, names = (int.from_bytes(data[o:o + 2], "little") for o in (0x3A, 0x3C, 0x3E))
    header = lambda n: data[shoff + n * size:shoff + (n + 1) * size]  # noqa: E731
    table = int.from_bytes(header(names)[0x18:0x20], "little")
    found = set()
    for n in range(count):
        start = table + int.from_bytes(header(n)[0:4], "little")
        found.add(data[start:data.index(b"\0", start)].decode())
    return found


class RuntimeServicesTest(LinuxTestCase):
    """The runtime that the tool links by default behaves as the JDK it was
    linked from for what a program looks up at run time, is small, keeps the
    tool quiet, and is linked once for images that differ only in what jlink
    does not see. Java 17 (the installed JDK) and Java 25 (skipped with the
    reason where absent); the images share the runtime cache of the tests."""

    BUDGET_MB = {17: 75, 25: 90}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        classes = os.path.join(work_root, "services-classes")
        Inputs.tool(["javac", "--release", "17", "-d", classes,
                     os.path.join(SOURCES, "services", "Services.java"), os.path.join(SOURCES, "services", "Dist.java")])
        cls.services = os.path.join(work_root, "services-input")
        os.makedirs(cls.services)
        Inputs.tool(["jar", "--create", "--file", os.path.join(cls.services, "services.jar"), "--main-class", "Services",
                     "-C", classes, "."])
        cls.classes = classes

    def jdks(self):
        """(feature version, JDK home) of each JDK to link from."""
        found = [(17, os.path.dirname(os.path.dirname(os.path.realpath(JAVA))))]
        newer, reason = newer_runtime()
        if newer and os.path.isfile(os.path.join(newer, "bin", "jlink")):
            found.append((25, newer))
        else:
            print("SKIPPED (Java 25): " + (reason or "%s has no bin/jlink" % newer), flush=True)
        return found

    def make(self, jdk, name, extra=()):
        output = os.path.join(self.work, name)
        result = run_tool(["--name", name, "--input", self.services, "--main-jar", "services.jar",
                           "--launchers", self.launchers, "--output", output, "--jdk", jdk] + list(extra))
        code, stdout, stderr = result
        self.assertEqual(code, 0, stdout + stderr)
        # Only the tool's own lines: nothing from jlink or its class-data step.
        for line in (stdout + stderr).splitlines():
            self.assertTrue(line.startswith("vantorix-image: "), line)
        return output, stdout.splitlines(), stderr.splitlines()

    def test_the_runtime_finds_what_the_jdk_finds(self):
        for version, jdk in self.jdks():
            with self.subTest(java=version):
                started = time.monotonic()
                output, lines, notes = self.make(jdk, "Services%d" % version)
                first = time.monotonic() - started
                completed = self.run_image(os.path.join(output, "Services%d" % version))
                self.assertEqual(completed.returncode, 0, completed.stderr)
                expected = subprocess.run([os.path.join(jdk, "bin", "java"), "-cp", self.classes, "Services"],
                                          capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"), timeout=120)
                self.assertEqual(completed.stdout.decode(), expected.stdout.decode())
                self.assertNotIn("failed", completed.stdout.decode())
                self.assertIn("vantorix-image:   jdk.localedata: a run-time service: "
                              "sun.util.locale.provider.LocaleDataMetaInfo", "\n".join(lines))
                self.assertIn("vantorix-image:   jdk.unsupported: JDK classes that libraries reach by name "
                              "(sun.misc.Unsafe)", lines)
                runtime = os.path.join(output, "runtime")
                modules = release_modules(runtime)
                for left_out in ("jdk.compiler", "jdk.jlink", "jdk.jdwp.agent", "jdk.internal.le", "java.desktop"):
                    self.assertNotIn(left_out, modules)
                # Smaller, the same behaviour: one class-data archive, the
                # libraries without their full symbol tables.
                self.assertEqual(sorted(n for n in os.listdir(os.path.join(runtime, "lib", "server"))
                                        if n.endswith(".jsa")), ["classes.jsa"])
                if shutil.which("strip"):
                    sections = elf_sections(os.path.join(runtime, "lib", "server", "libjvm.so"))
                    self.assertNotIn(".symtab", sections)
                    self.assertIn(".dynsym", sections)
                size = linux_image_size(runtime)
                self.assertLessEqual(size, self.BUDGET_MB[version] * 10 ** 6)

                # Only a JVM option changed: the same runtime, from the cache.
                started = time.monotonic()
                again, lines, _ = self.make(jdk, "Again%d" % version, ["--java-option", "-Xmx300m"])
                second = time.monotonic() - started
                self.assertTrue(lines[0].startswith("vantorix-image: runtime: reused from the runtime cache"), lines)
                self.assertEqual(tree(os.path.join(again, "runtime")), tree(runtime))
                print("Java %d: runtime %.1f MB; first image %.1f s, second %.1f s" % (version, size / 1e6, first,
                                                                                     second), flush=True)

    def test_a_distribution_jar_runs_as_shipped(self):
        jdk = os.path.dirname(os.path.dirname(os.path.realpath(JAVA)))
        # A system directory of shared jars, and an application whose jar
        # names some of them (one absent), and jars of its own that are not
        # there, by absolute and relative entries.
        system = os.path.join(self.work, "usr", "share", "java")
        helper_classes = os.path.join(self.work, "helper-classes")
        os.makedirs(system)
        Inputs.tool(["javac", "-d", helper_classes,
                     os.path.join(SOURCES, "services", "shared", "org", "shared", "Helper.java")])
        Inputs.tool(["jar", "--create", "--file", os.path.join(system, "shared.jar"), "-C", helper_classes, "."])
        app = os.path.join(self.work, "app")
        os.makedirs(os.path.join(app, "lib"))
        manifest = os.path.join(self.work, "manifest.txt")
        with open(manifest, "w") as out:
            out.write("Class-Path: %s %s lib/absent.jar lib/own.jar\n"
                      % (os.path.join(system, "shared.jar"), os.path.join(system, "absent.jar")))
        Inputs.tool(["jar", "--create", "--file", os.path.join(app, "dist.jar"), "--main-class", "Dist",
                     "--manifest", manifest, "-C", self.classes, "Dist.class"])
        for name in ("zeta.jar", "alpha.jar", "own.jar"):
            Inputs.tool(["jar", "--create", "--file", os.path.join(app, "lib", name), "-C", helper_classes, "."])
        output = os.path.join(self.work, "Dist")
        code, stdout, stderr = run_tool(["--name", "Dist", "--input", app, "--main-jar", "dist.jar", "--launchers",
                                         self.launchers, "--output", output, "--jdk", jdk])
        self.assertEqual(code, 0, stdout + stderr)
        # The archive step's note comes only with a runtime linked now, not with one that the
        # runtime cache holds from an earlier test: it says nothing of the Class-Path.
        warnings = [line for line in stderr.splitlines()
                    if not line.startswith("vantorix-image: note: the class-data archive leaves out")]
        self.assertEqual(warnings, [
            "vantorix-image: warning: the Class-Path entry %s of dist.jar is absolute: the Java runtime will look for "
            "%s on the users' machines" % (os.path.join(system, "shared.jar"), os.path.join(system, "shared.jar")),
            "vantorix-image: warning: the Class-Path entry %s of dist.jar is absolute: the Java runtime will look for "
            "%s on the users' machines" % (os.path.join(system, "absent.jar"), os.path.join(system, "absent.jar")),
            "vantorix-image: warning: the Class-Path entry lib/absent.jar of dist.jar names nothing (%s): the Java "
            "runtime skips it" % os.path.join(app, "lib", "absent.jar")])
        completed = self.run_image(os.path.join(output, "Dist"))
        self.assertEqual((completed.returncode, completed.stderr), (0, b""))
        # The JVM looks where the manifest says: here the shared jar exists.
        self.assertEqual(completed.stdout.decode(), "class-path=dist.jar\nshared-helper=true\n")

        # lib/* is the directory's jars, in name order, as java -cp has them.
        wildcard = os.path.join(self.work, "Wildcard")
        code, stdout, stderr = run_tool(["--name", "Wildcard", "--input", app, "--main-class", "Dist",
                                         "--class-path", "dist.jar", "--class-path", "lib/*", "--launchers",
                                         self.launchers, "--output", wildcard, "--jdk", jdk])
        self.assertEqual(code, 0, stdout + stderr)
        completed = self.run_image(os.path.join(wildcard, "Wildcard"))
        self.assertEqual(completed.stdout.decode().splitlines()[0], "class-path=dist.jar alpha.jar own.jar zeta.jar")
        java = subprocess.run([JAVA, "-cp", "dist.jar:lib/*", "Dist"], cwd=app, capture_output=True, timeout=120)
        names = java.stdout.decode().splitlines()[0].split("=", 1)[1].split()
        self.assertEqual(names[0], "dist.jar")
        self.assertEqual(sorted(names[1:]), ["alpha.jar", "own.jar", "zeta.jar"])


def linux_image_size(path):
    """Bytes of the regular files below path, links not followed."""
    total = 0
    for directory, _, names in os.walk(path):
        for name in names:
            full = os.path.join(directory, name)
            if os.path.isfile(full) and not os.path.islink(full):
                total += os.path.getsize(full)
    return total

if __name__ == "__main__":
    unittest.main()
