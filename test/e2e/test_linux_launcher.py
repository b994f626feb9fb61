"""End-to-end tests of the Linux launcher with a real Java 17 runtime.

Every test lays out an application image in a temporary directory (the
built launcher renamed, its config file, the runtime as a symbolic link or
named by app.runtime) and runs it. The Java programs and the JNI library
pair are built here, at test time, with javac, jar and the host's C
compiler. CTest runs one test class per CTest test:

    test_linux_launcher.py [-v] ProgramsTest

From the environment (test/CMakeLists.txt): VX_E2E_LINUX_LAUNCHER, the
launcher; VX_E2E_ARCH, x86_64 or i686 (which runtime); VX_E2E_CC and
VX_E2E_CFLAGS, the compiler for the JNI libraries; VX_E2E_SANITIZED, set
when the launcher carries AddressSanitizer. Without a runtime for the
architecture every test is skipped and "SKIPPED: <reason>" is printed.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import launch_record  # noqa: E402
import linux_image  # noqa: E402

SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "java")
ARCH = os.environ.get("VX_E2E_ARCH", "x86_64")
RUNTIME, SKIP_REASON = linux_image.find_runtime(ARCH)
# Tests that never started a process would otherwise count as passed.
if RUNTIME is None:
    print("SKIPPED: " + SKIP_REASON, flush=True)

APP_PATH = "-Dvantorix.app-path="


def unhex(text):
    return None if text == "null" else bytes.fromhex(text).decode("utf-8")


class Output:
    """What the Probe program printed: its key=value lines."""

    def __init__(self, stdout):
        self.lines = stdout.decode("utf-8", errors="replace").splitlines()
        self.fields = {}
        self.args = []
        for line in self.lines:
            key, _, value = line.partition("=")
            if key == "arg":
                self.args.append(unhex(value))
            else:
                self.fields.setdefault(key, value)

    def text(self, key):
        return unhex(self.fields[key])


class Run:
    def __init__(self, completed, pid):
        self.exit_code = completed.returncode
        self.stdout = completed.stdout
        self.stderr_text = completed.stderr.decode("utf-8", errors="replace")
        self.output = Output(completed.stdout)
        self.pid = pid


class Programs:
    """The test programs, compiled once per run of the module."""

    def __init__(self, work):
        self.classes = os.path.join(work, "classes")
        self.jar = os.path.join(work, "probe.jar")
        self.mods = os.path.join(work, "mods")
        self.jni = os.path.join(work, "jni")
        sources = [os.path.join(SOURCES, name) for name in ("Probe.java", "Native.java")]
        self.tool(["javac", "-d", self.classes] + sources)
        self.tool(["jar", "--create", "--file", self.jar, "--main-class", "Probe", "-C", self.classes, "."])
        module_classes = os.path.join(work, "module-classes")
        module_sources = os.path.join(SOURCES, "module", "demo.mod")
        self.tool(["javac", "-d", module_classes,
                   os.path.join(module_sources, "module-info.java"),
                   os.path.join(module_sources, "org", "demo", "Hello.java")])
        os.makedirs(self.mods)
        self.tool(["jar", "--create", "--file", os.path.join(self.mods, "demo.mod.jar"),
                   "-C", module_classes, "."])
        # libvxfirst.so (the JNI library) needs libvxsecond.so and has no
        # run path: only LD_LIBRARY_PATH lets the loader find it.
        os.makedirs(self.jni)
        cc = os.environ.get("VX_E2E_CC", "cc").split() + os.environ.get("VX_E2E_CFLAGS", "").split()
        second = os.path.join(self.jni, "libvxsecond.so")
        self.tool(cc + ["-shared", "-fPIC", "-o", second, os.path.join(SOURCES, "jnisecond.c")])
        self.tool(cc + ["-shared", "-fPIC", "-o", os.path.join(self.jni, "libvxfirst.so"),
                        os.path.join(SOURCES, "jnifirst.c"), "-L" + self.jni, "-lvxsecond"])
        self.planted = os.path.join(work, "planted.so")
        self.tool(cc + ["-shared", "-fPIC", "-o", self.planted, os.path.join(SOURCES, "planted.c")])

    @staticmethod
    def tool(command):
        completed = subprocess.run(command, capture_output=True, text=True)
        if completed.returncode != 0:
            raise RuntimeError("%s failed:\n%s%s" % (" ".join(command), completed.stdout, completed.stderr))


programs = None
work_root = None


def setUpModule():
    global programs, work_root
    if RUNTIME is None:
        raise unittest.SkipTest(SKIP_REASON)
    work_root = tempfile.mkdtemp(prefix="vx-linux-e2e-")
    programs = Programs(work_root)


def tearDownModule():
    if work_root:
        shutil.rmtree(work_root, ignore_errors=True)


class ImageTestCase(unittest.TestCase):
    CLASS_PATH_CONFIG = "[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=Probe\n"

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-img-", dir=work_root)
        self.addCleanup(shutil.rmtree, self.work, True)

    def image(self, config=CLASS_PATH_CONFIG, directory="img", name="Demo", link_runtime=True):
        image = linux_image.assemble(os.path.join(self.work, directory), os.environ["VX_E2E_LINUX_LAUNCHER"],
                                     RUNTIME, name, config, link_runtime)
        image.add_tree(programs.classes, os.path.join("app", "classes"))
        return image

    def run_image(self, image, args=(), library_path=None, debug=False, env=None, cwd=None, program=None):
        """library_path: LD_LIBRARY_PATH (None: the image's application
        directory, so that no re-exec happens; False: not set)."""
        environment = dict(os.environ)
        for name in ("VANTORIX_DEBUG", "VANTORIX_RESTARTED", "VANTORIX_RUNTIME_RESTART",
                     "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
            environment.pop(name, None)
        # The Java runtime decodes arguments and properties with the locale's
        # character set.
        environment["LC_ALL"] = "C.UTF-8"
        if os.environ.get("VX_E2E_SANITIZED"):
            # LeakSanitizer's exit check walks the JVM's threads and dies on
            # its guard pages; everything else of ASan stays on.
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        if library_path is None:
            environment["LD_LIBRARY_PATH"] = image.app_dir
        elif library_path is False:
            environment.pop("LD_LIBRARY_PATH", None)
        else:
            environment["LD_LIBRARY_PATH"] = library_path
        if debug:
            environment["VANTORIX_DEBUG"] = "true"
        environment.update(env or {})
        process = subprocess.Popen([program or image.exe] + list(args), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment, cwd=cwd)
        try:
            stdout, stderr = process.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise
        return Run(subprocess.CompletedProcess(process.args, process.returncode, stdout, stderr), process.pid)

    def assertRan(self, run):
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""), run.stdout)


class ProgramsTest(ImageTestCase):
    """Main class on the class path, main jar, main module."""

    def test_main_class_main_jar_and_main_module(self):
        cases = [
            ("main class on the class path", self.CLASS_PATH_CONFIG, True, "main=Probe"),
            ("main jar", "[Application]\napp.mainjar=$APPDIR/probe.jar\n", True, "main=Probe"),
            # The runtime named by the config file instead of the link.
            ("main module on the module path",
             "[Application]\napp.runtime=%s\napp.modulepath=$APPDIR/mods\n"
             "app.mainmodule=demo.mod/org.demo.Hello\n[ArgOptions]\narguments=a\narguments=b\n" % RUNTIME,
             False, "module=demo.mod args=a,b"),
        ]
        for label, config, link_runtime, first_line in cases:
            with self.subTest(label):
                image = self.image(config, directory=label.replace(" ", "_"), link_runtime=link_runtime)
                image.add_tree(programs.jar, os.path.join("app", "probe.jar"))
                image.add_tree(programs.mods, os.path.join("app", "mods"))
                run = self.run_image(image)
                self.assertRan(run)
                self.assertEqual(run.output.lines[0], first_line)


class ArgumentsTest(ImageTestCase):
    """What the Java side receives: arguments, options, the app-path property."""

    DEFAULTS = "[ArgOptions]\narguments=one\narguments=zwei wörter\narguments=\narguments=Юлия\n"

    def test_default_and_command_line_arguments(self):
        image = self.image(self.CLASS_PATH_CONFIG + self.DEFAULTS)
        cases = [
            ("defaults", [], ["one", "zwei wörter", "", "Юлия"]),
            ("command line replaces them", ["", "Jörg", "two words", "$APPDIR", "-Dnot.an.option=1"],
             ["", "Jörg", "two words", "$APPDIR", "-Dnot.an.option=1"]),
            ("a single empty argument", [""], [""]),
        ]
        for label, args, expected in cases:
            with self.subTest(label):
                run = self.run_image(image, args)
                self.assertRan(run)
                self.assertEqual(run.output.args, expected)
                self.assertEqual(int(run.output.fields["argc"]), len(expected))

    def test_java_options_reach_the_jvm(self):
        value = "with spaces, ünïcödé and Юлия"
        image = self.image(self.CLASS_PATH_CONFIG + "[JavaOptions]\njava-options=-Xmx64m\n"
                           "java-options=-Dprobe.value=%s\n" % value)
        run = self.run_image(image)
        self.assertRan(run)
        self.assertEqual(run.output.text("value"), value)

    def test_app_path_is_the_launchers_absolute_path(self):
        image = self.image(name="Orbit Demo")
        cases = [
            ("absolute", image.exe, None),
            ("relative, from the image root", "./Orbit Demo", image.root),
            ("through a symbolic link", os.path.join(self.work, "link"), None),
        ]
        os.symlink(image.exe, os.path.join(self.work, "link"))
        for label, program, cwd in cases:
            with self.subTest(label):
                run = self.run_image(image, program=program, cwd=cwd)
                self.assertRan(run)
                self.assertEqual(run.output.text("app-path"), image.exe)


class RawBytesTest(ImageTestCase):
    """File names and arguments are bytes: those that are not UTF-8 go to
    the runtime as they are."""

    DIRECTORY = "lat\udce9"  # the byte 0xE9, as Python names it
    ARGS = ["caf\udce9", "J\u00f6rg", "a\udcff\udcfeb"]

    def test_runtime_gets_the_bytes_of_the_path_and_the_arguments(self):
        record = os.path.join(self.work, "record")
        config = "[Application]\napp.runtime=%s\napp.mainclass=Probe\n" % os.environ["VX_E2E_RECORDING_RUNTIME"]
        image = self.image(config, directory=self.DIRECTORY, link_runtime=False)
        run = self.run_image(image, self.ARGS, env={"VX_STUB_RECORD": record})
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        with open(record, "rb") as f:
            calls = launch_record.parse_record(f.read())
        self.assertEqual(len(calls), 1)
        exe = os.fsencode(image.exe)
        self.assertIn(b"/lat\xe9/", exe)
        self.assertEqual(calls[0].argv, [exe, b"-Dvantorix.app-path=" + exe, b"Probe", b"caf\xe9",
                                         "J\u00f6rg".encode(), b"a\xff\xfeb"])
        self.assertEqual(calls[0].argv_terminator, "null")

    def test_java_sees_what_it_sees_when_started_directly(self):
        # The Java runtime decodes the bytes itself (with the locale's
        # character set), so the application gets what `java` would give it.
        image = self.image("[Application]\napp.classpath=%s\napp.mainclass=Probe\n" % programs.classes,
                           directory=self.DIRECTORY)
        run = self.run_image(image, self.ARGS)
        self.assertRan(run)
        direct = self.run_image(image, ["-cp", programs.classes, "Probe"] + self.ARGS,
                                program=os.path.join(RUNTIME, "bin", "java"))
        self.assertRan(direct)
        self.assertEqual(run.output.args, direct.output.args)
        self.assertNotIn("caf\u00e9", run.output.args)
        self.assertEqual(run.output.text("app-path"), os.fsencode(image.exe).decode("utf-8", "replace"))


class ExitTest(ImageTestCase):
    """Exit codes and the runtime's own messages."""

    def test_exit_codes_of_the_application(self):
        # System.exit ends the process inside the runtime; after an uncaught
        # exception the runtime's entry returns 1, and the launcher says that
        # the application (not the start of the JVM) failed, after the
        # runtime's own report.
        ended = "The application ended with an error (exit code 1)\n"
        cases = [
            ("System.exit(7)", ["-Dprobe.exit=7"], 7, "", ""),
            ("uncaught exception", ["-Dprobe.throw=1"], 1,
             'Exception in thread "main" java.lang.IllegalStateException: thrown on purpose', ended),
            ("out of memory", ["-Xmx16m", "-Dprobe.oom=1"], 1,
             'Exception in thread "main" java.lang.OutOfMemoryError: Java heap space', ended),
        ]
        for label, options, exit_code, stderr_start, stderr_end in cases:
            with self.subTest(label):
                run = self.run_image(self.image(self.CLASS_PATH_CONFIG + "[JavaOptions]\n" +
                                                "".join("java-options=%s\n" % o for o in options),
                                                directory=label.replace(" ", "_")))
                self.assertEqual(run.exit_code, exit_code, run.stderr_text)
                self.assertTrue(run.stderr_text.startswith(stderr_start), run.stderr_text)
                self.assertTrue(run.stderr_text.endswith(stderr_end), run.stderr_text)
                self.assertNotIn("Failed to launch JVM", run.stderr_text)
                self.assertEqual(run.output.lines[0], "main=Probe")

    def test_runtime_refuses_the_launch(self):
        cases = [
            ("missing main class", "[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=NoSuchMain\n",
             "Error: Could not find or load main class NoSuchMain"),
            ("invalid JVM option", self.CLASS_PATH_CONFIG + "[JavaOptions]\njava-options=-XX:+NoSuchVmOption\n",
             "Unrecognized VM option 'NoSuchVmOption'"),
        ]
        for label, config, message in cases:
            with self.subTest(label):
                run = self.run_image(self.image(config, directory=label.replace(" ", "_")))
                self.assertNotEqual(run.exit_code, 0)
                self.assertIn(message, run.stderr_text)
                self.assertEqual(run.stdout, b"")

    def test_launcher_errors_go_to_standard_error(self):
        image = self.image(config=None)
        run = self.run_image(image)
        self.assertEqual((run.exit_code, run.stderr_text),
                         (1, 'Error opening "%s" file: No such file or directory\n' % image.config_path))


class RestartTest(ImageTestCase):
    """LD_LIBRARY_PATH: one re-exec when it lacks the application directory,
    never more, and the JNI library pair in the application directory."""

    def exec_traces(self, run):
        return [line for line in run.stderr_text.splitlines() if "] LinuxLauncher.cpp:" in line and " execv(" in line]

    def test_reexec_happens_exactly_once(self):
        image = self.image()
        # (label, LD_LIBRARY_PATH, execv calls, the value the Java side sees)
        cases = [
            ("listed", image.app_dir, 0, image.app_dir),
            ("listed among others", "/usr/lib:%s:/opt" % image.app_dir, 0, "/usr/lib:%s:/opt" % image.app_dir),
            ("not set", False, 1, image.app_dir),
            ("empty", "", 1, image.app_dir),
            ("not listed", "/usr/lib", 1, "/usr/lib:" + image.app_dir),
            ("listed in other letter case", image.app_dir.upper(), 1, image.app_dir.upper() + ":" + image.app_dir),
            ("listed with a trailing slash", image.app_dir + "/", 1, image.app_dir + "/:" + image.app_dir),
        ]
        for label, library_path, execs, seen in cases:
            with self.subTest(label):
                run = self.run_image(image, ["x"], library_path=library_path, debug=True)
                self.assertEqual(run.exit_code, 0, run.stderr_text)
                self.assertEqual(len(self.exec_traces(run)), execs, run.stderr_text)
                # The same process throughout, and the mark never reaches Java.
                self.assertEqual(int(run.output.fields["pid"]), run.pid)
                self.assertIsNone(run.output.text("restart-mark"))
                self.assertEqual(run.output.text("ld"), seen)
                self.assertEqual(run.output.args, ["x"])

    def test_directory_with_a_colon_is_refused_before_anything_runs(self):
        # "<work>/x:y/Orbit/app" in LD_LIBRARY_PATH would be "<work>/x" and
        # the relative "y/Orbit/app", searched from the current directory
        # (by the loader, and by the runtime for the application's JNI
        # library): there a library of that JNI library's name is planted.
        # The runtime is named by its own path, the classes lie elsewhere.
        config = ("[Application]\napp.runtime=%s\napp.classpath=%s\napp.mainclass=Probe\n"
                  "[JavaOptions]\njava-options=-Dprobe.jni=vxfirst\n" % (RUNTIME, programs.classes))
        image = self.image(config, directory=os.path.join("x:y", "Orbit"), link_runtime=False)
        cwd = os.path.join(self.work, "cwd")
        os.makedirs(os.path.join(cwd, "y", "Orbit", "app"))
        shutil.copyfile(programs.planted, os.path.join(cwd, "y", "Orbit", "app", "libvxfirst.so"))
        for label, library_path in [("LD_LIBRARY_PATH not set", False), ("listed", image.app_dir)]:
            with self.subTest(label):
                mark = os.path.join(self.work, "planted-ran-" + label.split()[0])
                run = self.run_image(image, ["x"], library_path=library_path, cwd=cwd, debug=True,
                                     env={"VX_E2E_PLANTED": mark})
                self.assertFalse(os.path.exists(mark), run.stderr_text)
                self.assertEqual(self.exec_traces(run), [], run.stderr_text)
                self.assertEqual(run.exit_code, 1, run.stderr_text)
                self.assertIn(
                    "The application directory \"%s\" contains ':', which separates the directories listed in "
                    "LD_LIBRARY_PATH and in the class path: move the application to a directory without it"
                    % image.app_dir, run.stderr_text.splitlines())
                self.assertEqual(run.stdout, b"")

    def test_jni_library_with_a_dependency_in_the_application_directory(self):
        image = self.image(self.CLASS_PATH_CONFIG + "[JavaOptions]\njava-options=-Dprobe.jni=vxfirst\n")
        for library in ("libvxfirst.so", "libvxsecond.so"):
            image.add_tree(os.path.join(programs.jni, library), os.path.join("app", library))
        for label, library_path in [("through the re-exec", False), ("listed from the start", None)]:
            with self.subTest(label):
                run = self.run_image(image, library_path=library_path)
                self.assertRan(run)
                self.assertEqual(run.output.fields.get("jni"), "42")

    def test_runtime_reexec_hands_the_jvm_arguments_back(self):
        # The runtime's launcher library re-executes the process itself when
        # LD_LIBRARY_PATH lists a libjvm.so directory behind another element;
        # the application must still get exactly its own arguments.
        server = os.path.join(RUNTIME, "lib", "server")
        if not os.path.exists(os.path.join(server, "libjvm.so")):
            server = os.path.join(RUNTIME, "lib", "client")
        image = self.image()
        library_path = "/usr/lib:%s:%s" % (server, image.app_dir)
        run = self.run_image(image, ["a", "b c"], library_path=library_path)
        self.assertRan(run)
        self.assertEqual(run.output.args, ["a", "b c"])
        self.assertEqual(run.output.text("app-path"), image.exe)
        self.assertEqual(int(run.output.fields["pid"]), run.pid)
        self.assertIsNone(run.output.text("runtime-restart-mark"))

    def test_runtime_restart_mark_is_taken_only_for_the_images_own_runtime(self):
        # Set by the caller with the right process id (sh execs the image),
        # naming a library that is not this image's runtime.
        mark = os.path.join(self.work, "planted-ran")
        image = self.image()
        script = 'VANTORIX_RUNTIME_RESTART="$$:$VX_E2E_PLANTED_LIBRARY" exec "$VX_E2E_IMAGE" "$@"'
        run = self.run_image(image, ["-c", script, "sh", "-version"], program="/bin/sh",
                             env={"VX_E2E_PLANTED": mark, "VX_E2E_PLANTED_LIBRARY": programs.planted,
                                  "VX_E2E_IMAGE": image.exe})
        self.assertFalse(os.path.exists(mark))
        self.assertRan(run)
        self.assertEqual(run.output.lines[0], "main=Probe")
        self.assertEqual(run.output.args, ["-version"])
        self.assertIsNone(run.output.text("runtime-restart-mark"))

    def test_runtime_restart_mark_never_reaches_the_application(self):
        # LD_LIBRARY_PATH beginning with the runtime's own VM directory: the
        # runtime lists a libjvm.so but does not start the process again.
        server = os.path.join(os.path.realpath(RUNTIME), "lib", "server")
        if not os.path.exists(os.path.join(server, "libjvm.so")):
            server = os.path.join(os.path.realpath(RUNTIME), "lib", "client")
        image = self.image()
        run = self.run_image(image, ["a"], library_path="%s:%s" % (server, image.app_dir))
        self.assertRan(run)
        self.assertEqual(run.output.args, ["a"])
        self.assertIsNone(run.output.text("runtime-restart-mark"))


class UserOptionsTest(ImageTestCase):
    """The user's own JVM options file: what the packager allows reaches the
    JVM after the packaged options, nothing else does, and the file can never
    stop the application."""

    ALLOWING = ("[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=Probe\n"
                "app.user-options=-Xmx\napp.user-options=-Dprobe.value=\n"
                "[JavaOptions]\njava-options=-Xmx64m\njava-options=-Dprobe.jvm-args=1\n")
    NOT_ALLOWING = ("[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=Probe\n"
                    "[JavaOptions]\njava-options=-Xmx64m\njava-options=-Dprobe.jvm-args=1\n")
    USER_FILE = ("# raised by the user\n-Xmx256m\n-Dprobe.value=set by Jörg in $APPDIR\n"
                 "-javaagent:/nowhere/agent.jar\n-Djava.security.manager=allow\n"
                 "-XX:+UnlockDiagnosticVMOptions\n")
    DISALLOWED = ["-javaagent:/nowhere/agent.jar", "-Djava.security.manager=allow",
                  "-XX:+UnlockDiagnosticVMOptions"]

    def write(self, path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data.encode("utf-8") if isinstance(data, str) else data)
        return path

    def config_home(self, name="config"):
        """An XDG_CONFIG_HOME of this test's own, and the image's file in it."""
        home = os.path.join(self.work, name)
        return home, os.path.join(home, "Demo", "Demo.jvmopts")

    def jvm_args(self, run):
        return [unhex(line.partition("=")[2]) for line in run.output.lines if line.startswith("jvm-arg=")]

    def left_out(self, run, path):
        head = '] UserJvmOptions.cpp:'
        return [line.split(': User JVM options file "%s", ' % path, 1)[1] for line in run.stderr_text.splitlines()
                if head in line and 'User JVM options file "%s", ' % path in line and "left out" in line]

    def test_allowed_options_change_what_the_application_sees(self):
        image = self.image(self.ALLOWING)
        home, path = self.config_home("Jörg's config")
        self.write(path, self.USER_FILE)
        run = self.run_image(image, env={"XDG_CONFIG_HOME": home}, debug=True)
        self.assertEqual(run.exit_code, 0, run.stderr_text)
        self.assertEqual(run.output.text("value"), "set by Jörg in " + image.app_dir)
        # The user's -Xmx comes after the packaged one, so it wins.
        self.assertGreater(int(run.output.fields["max-memory"]), 200 * 1024 * 1024)
        jvm_args = self.jvm_args(run)
        self.assertEqual(jvm_args[jvm_args.index("-Xmx64m"):],
                         ["-Xmx64m", "-Dprobe.jvm-args=1", "-Xmx256m", "-Dprobe.value=set by Jörg in " + image.app_dir,
                          APP_PATH + image.exe])
        self.assertIsNone(run.output.text("security-manager"))
        self.assertEqual(self.left_out(run, path), [
            'line %d: left out, "%s": no allowed prefix matches it' % (number, option)
            for number, option in enumerate(self.DISALLOWED, start=4)])

    def test_options_file_option_needs_a_prefix_that_names_it(self):
        # -XX:VMOptionsFile= would read any options from another file: a
        # packager who allows "-XX:" has not allowed that.
        smuggled = self.write(os.path.join(self.work, "smuggled.txt"), "-Dprobe.value=smuggled\n")
        config = self.NOT_ALLOWING.replace("app.mainclass=Probe\n", "app.mainclass=Probe\napp.user-options=-XX:\n")
        home, path = self.config_home()
        self.write(path, "-XX:+UseSerialGC\n-XX:VMOptionsFile=%s\n" % smuggled)
        run = self.run_image(self.image(config), env={"XDG_CONFIG_HOME": home}, debug=True)
        self.assertEqual(run.exit_code, 0, run.stderr_text)
        self.assertIsNone(run.output.text("value"))
        self.assertIn("-XX:+UseSerialGC", self.jvm_args(run))
        self.assertEqual(self.left_out(run, path), [
            'line 2: left out, "-XX:VMOptionsFile=%s": it reads JVM options from a file, which only an '
            'allowed prefix that names the option itself allows' % smuggled])

    def test_without_an_allowlist_the_file_is_not_read(self):
        home, path = self.config_home()
        self.write(path, self.USER_FILE)
        run = self.run_image(self.image(self.NOT_ALLOWING), env={"XDG_CONFIG_HOME": home}, debug=True)
        self.assertEqual(run.exit_code, 0, run.stderr_text)
        self.assertIsNone(run.output.text("value"))
        self.assertLess(int(run.output.fields["max-memory"]), 100 * 1024 * 1024)
        self.assertIn('No "app.user-options" in section "Application": no user JVM options file is read',
                      run.stderr_text)
        self.assertNotIn("User JVM options file", run.stderr_text)

    def test_unreadable_or_invalid_files_still_start_the_application(self):
        # (label, how the file is made, the value the application sees, the
        # trace line about the file)
        cases = [
            ("a directory in its place", lambda path: os.makedirs(path), None,
             ': skipped, it cannot be read up to the end: Is a directory'),
            ("bytes that are not UTF-8", lambda path: self.write(path, b"-Dprobe.value=caf\xe9\n\xff\xfe\x00\n"),
             None, ", line 1: left out, it is not valid UTF-8 text"),
            ("a line too long before a good one",
             lambda path: self.write(path, "-Dprobe.value=" + "x" * 5000 + "\n-Dprobe.value=good\n"), "good",
             ", line 1: left out, it is longer than 4096 bytes"),
        ]
        image = self.image(self.ALLOWING)
        for label, make, value, trace in cases:
            with self.subTest(label):
                home, path = self.config_home(label.replace(" ", "_"))
                make(path)
                run = self.run_image(image, env={"XDG_CONFIG_HOME": home}, debug=True)
                self.assertEqual(run.exit_code, 0, run.stderr_text)
                self.assertEqual(run.output.lines[0], "main=Probe")
                self.assertEqual(run.output.text("value"), value)
                self.assertIn('User JVM options file "%s"%s' % (path, trace), run.stderr_text)

    def test_variable_names_another_file(self):
        # A portable install's file, with letters of three scripts in its
        # path; the usual file is then not read, and an empty variable
        # switches the user file off.
        image = self.image(self.ALLOWING, name="my-app")
        home, _ = self.config_home()
        self.write(os.path.join(home, "my-app", "my-app.jvmopts"), "-Dprobe.value=usual\n")
        portable = self.write(os.path.join(self.work, "USB Ünïcode Юлия 日本", "my-app.jvmopts"),
                              "-Dprobe.value=portable\n")
        cases = [("not set", None, "usual"), ("set", portable, "portable"), ("empty", "", None)]
        for label, variable, value in cases:
            with self.subTest(label):
                env = {"XDG_CONFIG_HOME": home}
                if variable is not None:
                    env["MY_APP_JVMOPTS_FILE"] = variable
                run = self.run_image(image, env=env)
                self.assertRan(run)
                self.assertEqual(run.output.text("value"), value)


if __name__ == "__main__":
    unittest.main()
