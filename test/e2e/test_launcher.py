"""End-to-end tests of the launcher executable.

Every test lays out a real application image in a temporary directory (the
built launcher renamed, its config file, the stub runtime) and runs it under
Wine. CTest runs one test class per CTest test:

    test_launcher.py [-v] ArgumentsTest

The paths come from the environment that test/e2e/CMakeLists.txt sets:
VX_E2E_LAUNCHER, VX_E2E_UTF8_LAUNCHER and VX_E2E_LEGACY_LAUNCHER (the builds
with either code-page choice), VX_E2E_STUB_RUNTIME, VX_E2E_WINE_RUN,
VX_E2E_ARCH, VX_E2E_MSGBOX_READER and VX_E2E_WORK (room for a Wine prefix).
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import image as images  # noqa: E402

APP_PATH_PROPERTY = "-Dvantorix.app-path="
UNREPRESENTABLE = 'The JVM argument "%s" has characters that the ANSI code page %d cannot represent'


class ImageTestCase(unittest.TestCase):
    """Gives each test its own directory for images."""

    @classmethod
    def setUpClass(cls):
        cls.tools = images.Tools.from_environment()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-e2e-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def image(self, config="", name="Demo", directory="img", runtime=True, launcher=None):
        """An image in this test's directory; launcher: another build of the
        launcher than the main one."""
        tools = self.tools.with_launcher(launcher) if launcher else self.tools
        return images.assemble(os.path.join(self.work, directory), tools, name, config, runtime)

    def run_image(self, image, args=(), timeout=60, **options):
        return images.run(self.tools, image, args, timeout, **options)

    def assertArguments(self, run, expected):
        call = run.call
        self.assertEqual(call.arguments(), expected)
        self.assertEqual(call.argv_terminator, "null")

    def assertFailed(self, run, text):
        """Exit code 1 and the launch error text as the only line on stderr."""
        self.assertEqual((run.exit_code, run.stderr_text), (1, text + "\r\n"))
        self.assertEqual(run.calls, [])


class ArgumentsTest(ImageTestCase):
    """The JVM argument list that reaches the runtime's launch entry."""

    def test_config_files(self):
        # (label, config, command-line arguments, expected list after the
        # program name; {A} application directory, {R} image root, {X}
        # executable path).
        cases = [
            ("class path",
             "[Application]\napp.classpath=$APPDIR\\a.jar\napp.classpath=$APPDIR\\b.jar\n"
             "app.mainclass=Main\n",
             [], ["-classpath", "{A}\\a.jar;{A}\\b.jar", APP_PATH_PROPERTY + "{X}", "Main"]),
            ("module path with main module",
             "[Application]\napp.modulepath=$APPDIR\\mods\napp.modulepath=$ROOTDIR\\more\n"
             "app.mainmodule=m/Main\n[JavaOptions]\njava-options=-Xmx512m\n"
             "java-options=-Dbin=$BINDIR\n[ArgOptions]\narguments=one\narguments=two\n",
             [], ["--module-path", "{A}\\mods", "--module-path", "{R}\\more", "-Xmx512m", "-Dbin={R}",
                  APP_PATH_PROPERTY + "{X}", "-m", "m/Main", "one", "two"]),
            ("command line replaces the default arguments",
             "[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=one\narguments=two\n",
             ["three"], [APP_PATH_PROPERTY + "{X}", "Main", "three"]),
            ("command-line macros stay unexpanded",
             "[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=$APPDIR\n",
             ["$APPDIR", "two words", "-splash:x"],
             [APP_PATH_PROPERTY + "{X}", "Main", "$APPDIR", "two words", "-splash:x"]),
            ("main class and main jar",
             "[Application]\napp.mainjar=$APPDIR\\main.jar\napp.mainclass=Main\n",
             [], [APP_PATH_PROPERTY + "{X}", "Main", "-jar", "{A}\\main.jar"]),
            ("CR LF line ends and unknown names",
             "; comment\r\n[Application]\r\napp.mainclass=Main\r\nunknown=1\r\n[Other]\r\n"
             "app.mainclass=Ignored\r\n",
             [], [APP_PATH_PROPERTY + "{X}", "Main"]),
            ("empty config file", "", [], [APP_PATH_PROPERTY + "{X}"]),
        ]
        for label, config, args, expected in cases:
            with self.subTest(label):
                image = self.image(config, directory=label.replace(" ", "_"))
                run = self.run_image(image, args)
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertArguments(run, [image.win_exe] + [
                    arg.replace("{A}", image.win_app_dir).replace("{R}", image.win_root)
                       .replace("{X}", image.win_exe) for arg in expected])

    def test_main_jar_with_splash(self):
        image = self.image("[Application]\napp.mainjar=$APPDIR\\main.jar\napp.splash=$APPDIR\\s.png\n")
        image.add_file(os.path.join("app", "s.png"), b"\x89PNG")
        run = self.run_image(image)
        self.assertEqual(run.exit_code, 0)
        self.assertArguments(run, [
            image.win_exe, "-splash:" + image.win_app_dir + "\\s.png", APP_PATH_PROPERTY + image.win_exe,
            "-jar", image.win_app_dir + "\\main.jar"])

    def test_runtime_named_by_config_file(self):
        image = self.image("[Application]\napp.runtime=$ROOTDIR\\jre\napp.mainclass=Main\n", runtime=False)
        image.add_runtime(self.tools.stub_runtime, directory="jre")
        run = self.run_image(image)
        self.assertEqual(run.exit_code, 0)
        self.assertArguments(run, [image.win_exe, APP_PATH_PROPERTY + image.win_exe, "Main"])


class RestartTest(ImageTestCase):
    """"PATH" without the application directory: one child, never more."""

    CONFIG = "[Application]\napp.mainclass=Main\n"

    def test_path_forms(self):
        # (label, "PATH" entries in front of the prefix's own, launcher
        # processes expected on the way to the runtime)
        image = self.image(self.CONFIG)
        cases = [
            ("listed", image.win_app_dir, 1),
            ("listed in other letter case", image.win_app_dir.upper(), 1),
            ("listed among others", "C:\\tools;" + image.win_app_dir.lower() + ";C:\\more", 1),
            ("not listed", "", 2),
            ("listed with a trailing backslash", image.win_app_dir + "\\", 2),
            ("only a parent listed", image.win_root, 2),
        ]
        for label, path, processes in cases:
            with self.subTest(label):
                run = self.run_image(image, ["a", "b c"], path=path)
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertEqual(run.call.launcher_processes("Demo.exe"), processes, run.call.ancestors)
                self.assertIsNone(run.call.restart_mark)
                self.assertArguments(run, [image.win_exe, APP_PATH_PROPERTY + image.win_exe, "Main",
                                           "a", "b c"])

    def test_child_gets_the_same_command_line(self):
        image = self.image(self.CONFIG)
        args = ["plain", "two words", 'quote"d', "$APPDIR", "-splash:x"]
        in_process = self.run_image(image, args)
        restarted = self.run_image(image, args, path="")
        self.assertEqual(restarted.call.launcher_processes("Demo.exe"), 2)
        self.assertNotEqual(restarted.call.pid, in_process.call.pid)
        self.assertEqual(restarted.call.command_line, in_process.call.command_line)
        self.assertEqual(restarted.call.arguments(), in_process.call.arguments())

    def test_child_exit_code_is_the_parents(self):
        # The application's own code comes through the restart as it does in
        # process, all 32 bits of it, and only the child reports a failure.
        image = self.image(self.CONFIG)
        cases = [
            ("application ends the process with 3", {"VX_STUB_EXIT_PROCESS": "3"}, 3, ""),
            ("code above the signed range", {"VX_STUB_EXIT_PROCESS": "3221225477"}, 3221225477, ""),
            ("runtime entry returns 3", {"VX_STUB_EXIT": "3"}, 1, "Failed to launch JVM\r\n"),
            # The JVM ran, and the application failed: its code, and no word
            # of a launch that failed.
            ("application fails after the JVM ran", {"VX_STUB_EXIT": "3", "VX_STUB_JVM_STARTED": "1"}, 3,
             "The application ended with an error (exit code 3)\r\n"),
            ("success", {}, 0, ""),
        ]
        for label, env, code, stderr in cases:
            with self.subTest(label):
                for starter in (None, []):
                    run = self.run_image(image, path="", env=env, starter=starter)
                    # A Unix parent sees the low byte, a Windows one all of it.
                    expected = code if starter is not None else code & 0xFF
                    self.assertEqual((run.exit_code, run.stderr_text), (expected, stderr))
                    self.assertEqual(run.call.launcher_processes("Demo.exe"), 2)

    def test_child_gets_the_start_up_settings(self):
        # A shortcut set to "Run: Minimized" (SW_SHOWMINNOACTIVE, 7) with a
        # link name for the taskbar.
        image = self.image(self.CONFIG)
        starter = ["--show", "7", "--title", "C:\\Users\\Jörg\\Desktop\\Demo.lnk"]
        for label, path in [("in process", None), ("restarted", "")]:
            with self.subTest(label):
                call = self.run_image(image, path=path, starter=starter).call
                self.assertEqual(call.launcher_processes("Demo.exe"), 1 if path is None else 2)
                flags = STARTF_USESHOWWINDOW | STARTF_TITLEISLINKNAME
                self.assertEqual(call.startup_flags & flags, flags)
                self.assertEqual(call.startup_show, 7)
                self.assertEqual(call.startup_title, "C:\\Users\\Jörg\\Desktop\\Demo.lnk")

    def test_ending_the_parent_ends_the_child_but_not_what_it_started(self):
        image = self.image(self.CONFIG)
        token = "survivor-%d" % os.getpid()
        launch = images.Launch(self.tools, image, path="", env={
            "VX_STUB_SLEEP_MS": "60000",
            "VX_STUB_SPAWN": '"%s" sleep 60000 %s' % (images.windows_path(self.tools.helper), token),
        }).start()
        self.addCleanup(launch.kill)
        self.addCleanup(kill_processes_mentioning, token)
        call = wait_for_call(launch)
        self.assertEqual(call.launcher_processes("Demo.exe"), 2)
        self.assertNotIn(call.spawned, (None, "failed"))
        # The parent's Unix process is the Windows process (Task Manager's
        # "End task" is TerminateProcess, which this stands in for).
        self.assertEqual(len(images.processes_mentioning([image.root, image.win_root])), 2)
        os.kill(launch.process.pid, 9)
        launch.process.wait(10)
        deadline = time.monotonic() + 10
        while images.processes_mentioning([image.root, image.win_root]) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(images.processes_mentioning([image.root, image.win_root]), [], "the child outlived its parent")
        self.assertTrue(images.processes_mentioning([token]), "the application's own process was ended")

    def test_directory_with_a_semicolon_is_refused_before_any_child(self):
        # "...\\semi;colon\\app" on "PATH" would be two elements, the second
        # ("colon\\app") relative to the current directory, and the class
        # path would split at the ';' too.
        image = self.image("[Application]\napp.classpath=$APPDIR\\a.jar\napp.mainclass=Main\n",
                           directory="semi;colon")
        for label, path in [("not listed", ""), ("listed", image.win_app_dir)]:
            with self.subTest(label):
                run = self.run_image(image, ["x"], path=path, timeout=30)
                self.assertFailed(run, 'The application directory "%s" contains \';\', which separates the '
                                  'directories listed in PATH and in the class path: move the application to a '
                                  'directory without it' % image.win_app_dir)

    def test_config_error_is_reported_before_any_child(self):
        image = self.image(config=None)
        run = self.run_image(image, path="")
        self.assertFailed(run, 'Error opening "%s" file: No such file or directory' % image.win_config_path)


class LibrariesTest(ImageTestCase):
    """Which runtime libraries are held during the launch."""

    # jvm.dll is loaded before splashscreen.dll and released before the
    # launch; splashscreen.dll is held through it.
    SPLASH_EVENTS = [
        "jli.dll loaded",
        "jvm.dll loaded",
        "splashscreen.dll loaded",
        "jvm.dll unloaded",
        "jli.dll called",
        "splashscreen.dll unloaded",
        "jli.dll unloaded",
    ]

    def test_splash_preloads_jvm_and_holds_splash_library(self):
        image = self.image("[Application]\napp.mainclass=Main\napp.splash=$APPDIR\\s.png\n")
        image.add_file(os.path.join("app", "s.png"))
        run = self.run_image(image)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.events, self.SPLASH_EVENTS)
        self.assertEqual((run.call.jvm_loaded, run.call.splash_loaded), (False, True))

    def test_splash_with_a_client_vm_or_none(self):
        # 32-bit runtimes often have only bin\\client\\jvm.dll; without any VM
        # directory the runtime finds its own VM at launch.
        config = "[Application]\napp.mainclass=Main\napp.splash=$APPDIR\\s.png\n"
        cases = [("client VM only", "client", self.SPLASH_EVENTS),
                 ("no VM directory", None, [event for event in self.SPLASH_EVENTS if "jvm.dll" not in event])]
        for label, vm_directory, events in cases:
            with self.subTest(label):
                image = self.image(config, directory=label.replace(" ", "_"))
                image.add_file(os.path.join("app", "s.png"))
                server = os.path.join(image.root, "runtime", "bin", "server")
                if vm_directory:
                    os.rename(server, os.path.join(image.root, "runtime", "bin", vm_directory))
                else:
                    shutil.rmtree(server)
                run = self.run_image(image)
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertEqual(run.events, events)

    def test_without_splash_only_jli(self):
        cases = [
            ("no splash property", "[Application]\napp.mainclass=Main\n"),
            ("splash file missing", "[Application]\napp.mainclass=Main\napp.splash=$APPDIR\\none.png\n"),
        ]
        for label, config in cases:
            with self.subTest(label):
                run = self.run_image(self.image(config, directory=label.replace(" ", "_")))
                self.assertEqual(run.exit_code, 0)
                self.assertEqual(run.events, ["jli.dll loaded", "jli.dll called", "jli.dll unloaded"])
                self.assertEqual((run.call.jvm_loaded, run.call.splash_loaded), (False, False))
                self.assertFalse([arg for arg in run.call.arguments() if arg.startswith("-splash:")])

    def test_restarting_parent_loads_no_runtime_library(self):
        image = self.image("[Application]\napp.mainclass=Main\napp.splash=$APPDIR\\s.png\n")
        image.add_file(os.path.join("app", "s.png"))
        run = self.run_image(image, path="")
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.call.launcher_processes("Demo.exe"), 2)
        # Only the child's loads: the parent touches no runtime library.
        self.assertEqual(run.events, self.SPLASH_EVENTS)


class FailuresTest(ImageTestCase):
    """Failed launches: the text on standard error and exit code 1."""

    def test_config_file_errors(self):
        image = self.image(config=None)
        self.assertFailed(self.run_image(image),
                          'Error opening "%s" file: No such file or directory' % image.win_config_path)

        image.write_config("[Application]\napp.mainclass=Main\n[JavaOptions\njava-options=-Xmx1g\n")
        self.assertFailed(self.run_image(image),
                          "Error parsing [%s] file at 3: Missing ']' character" % image.win_config_path)

    def test_runtime_errors(self):
        config = "[Application]\napp.mainclass=Main\n"

        missing = self.image(config, directory="missing", runtime=False)
        self.assertFailed(self.run_image(missing),
                          'Failed to find JVM in "%s\\runtime" directory.' % missing.win_root)

        named = self.image("[Application]\napp.runtime=$ROOTDIR\\jre\n", directory="named")
        self.assertFailed(self.run_image(named),
                          'Failed to find JVM in "%s\\jre" directory.' % named.win_root)

        # A runtime whose jli.dll is a library without the launch entry.
        no_entry = self.image(config, directory="no_entry", runtime=False)
        jli = os.path.join(no_entry.add_runtime(self.tools.stub_runtime, libraries=["splashscreen.dll"]),
                           "jli.dll")
        os.rename(os.path.join(os.path.dirname(jli), "splashscreen.dll"), jli)
        self.assertFailed(self.run_image(no_entry),
                          "GetProcAddress(%s, %s) failed. System error [127]"
                          "(system error 127 (Procedure not found))"
                          % (images.windows_path(jli), self.tools.jli_entry_name))

        # A jli.dll that is no library at all: the system's text names the
        # file instead of showing its "%1".
        not_a_library = self.image(config, directory="not_a_library", runtime=False)
        fake = images.windows_path(not_a_library.add_file(os.path.join("runtime", "bin", "jli.dll"),
                                                          b"not a library\n"))
        self.assertFailed(self.run_image(not_a_library),
                          "LoadLibraryW(%s) failed. System error [193](system error 193 (Bad EXE format for %s))"
                          % (fake, fake))

        # A jli.dll whose own dependency is missing: it is the dependency
        # that the user has to look for.
        needs_dependency = self.image(config, directory="needs_dependency", runtime=False)
        jli = needs_dependency.add_fixture(self.tools.stub_runtime, "needsdep.dll", os.path.join("runtime", "bin", "jli.dll"))
        self.assertFailed(self.run_image(needs_dependency), DEPENDENCY_MISSING % images.windows_path(jli))

        returns_one = self.image(config, directory="returns_one")
        run = self.run_image(returns_one, stub_exit=1)
        self.assertEqual((run.exit_code, run.stderr_text), (1, "Failed to launch JVM\r\n"))
        self.assertEqual(len(run.calls), 1)


DEPENDENCY_MISSING = ("LoadLibraryW(%s) failed: the file exists, but a library that it depends on was not found. "
                      "System error [126](system error 126 (Module not found))")


class SafetyTest(ImageTestCase):
    """What the current directory and a careless "PATH" must not change: the
    runtime and its dependencies come from the image only."""

    CONFIG = "[Application]\napp.runtime=runtime\napp.mainclass=Main\n"

    def planted_directory(self, jli=b"planted, not a library\n"):
        """A current directory with a runtime\\bin\\jli.dll and vxdep.dll of
        its own, as a document's folder may have."""
        planted = images.AppImage(os.path.join(self.work, "documents"), "unused")
        planted.add_file(os.path.join("runtime", "bin", "jli.dll"), jli)
        planted.add_fixture(self.tools.stub_runtime, "vxdep.dll", "vxdep.dll")
        return planted.root

    def test_relative_runtime_comes_from_the_image_root(self):
        image = self.image(self.CONFIG)
        for label, path in [("in process", None), ("restarted", "")]:
            with self.subTest(label):
                run = self.run_image(image, path=path, cwd=self.planted_directory())
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertEqual(run.call.dll_directory, image.win_root + "\\runtime\\bin")

    def test_dependency_in_the_current_directory_is_never_loaded(self):
        # "PATH" forms that once put the current directory into the search:
        # an element after a trailing ';', and a leading ';' for an empty
        # "PATH". The child's "PATH" has no empty element either way.
        image = self.image(self.CONFIG, runtime=False)
        jli = image.add_fixture(self.tools.stub_runtime, "needsdep.dll", os.path.join("runtime", "bin", "jli.dll"))
        for label, path in [("PATH ends in ';'", "C:\\windows\\system32;C:\\windows;"), ("PATH empty", "")]:
            with self.subTest(label):
                run = self.run_image(image, cwd=self.planted_directory(), starter=["--set", "PATH=" + path])
                self.assertFailed(run, DEPENDENCY_MISSING % images.windows_path(jli))
                self.assertNotIn("vxdep.dll loaded", run.events)

    def test_extended_path_has_no_empty_element(self):
        image = self.image(self.CONFIG)
        for label, path, expected in [
                ("PATH ends in ';'", "C:\\windows\\system32;C:\\windows;",
                 "C:\\windows\\system32;C:\\windows;" + image.win_app_dir),
                ("PATH empty", "", image.win_app_dir)]:
            with self.subTest(label):
                run = self.run_image(image, starter=["--set", "PATH=" + path])
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertEqual(run.call.launcher_processes("Demo.exe"), 2)
                self.assertEqual(run.call.path, expected)

    def test_dependency_beside_the_runtime_library_is_found(self):
        # The counterpart: the runtime's bin directory is searched, so the
        # library loads and only the missing launch entry stops it.
        image = self.image(self.CONFIG, runtime=False)
        jli = image.add_fixture(self.tools.stub_runtime, "needsdep.dll", os.path.join("runtime", "bin", "jli.dll"))
        image.add_fixture(self.tools.stub_runtime, "vxdep.dll", os.path.join("runtime", "bin", "vxdep.dll"))
        run = self.run_image(image, cwd=self.planted_directory())
        self.assertEqual(run.exit_code, 1)
        self.assertIn("GetProcAddress(%s, %s) failed" % (images.windows_path(jli), self.tools.jli_entry_name),
                      run.stderr_text)

    def test_config_line_that_is_not_utf8(self):
        # One Latin-1 'é' in a header, as an editor that saves in the ANSI
        # code page writes it.
        image = self.image(None)
        with open(image.config_path, "wb") as out:
            out.write(b"; Configuration g\xe9n\xe9rale\n[Application]\napp.mainclass=Main\n")
        self.assertFailed(self.run_image(image), "Error parsing [%s] file at 1: The line is not valid UTF-8 text"
                          % image.win_config_path)


class PathsTest(ImageTestCase):
    """Image directories with spaces, non-ASCII letters and long paths, in
    process and through the restart.

    The JVM arguments are converted to the process's ANSI code page, which
    the launcher's manifest sets to UTF-8; the build with the other choice
    keeps the system's code page (1252 under Wine). Both are checked: the
    arguments must equal the wide text encoded in the code page that the
    stub recorded, so a letter the code page lacks arrives as '?'."""

    CONFIG = "[Application]\napp.classpath=$APPDIR\\lib.jar\napp.mainclass=Main\n"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # (label, launcher build, its ANSI code page under Wine)
        cls.code_page_builds = [(label, os.environ.get(variable), code_page) for label, variable, code_page in [
            ("UTF-8 manifest", "VX_E2E_UTF8_LAUNCHER", 65001),
            ("legacy code page", "VX_E2E_LEGACY_LAUNCHER", 1252),
        ]]

    def check_image_runs(self, image, branches=(("in process", None), ("restarted", "")),
                         args=("arg with space", "Jörg", "Юлия")):
        calls = []
        for label, path in branches:
            with self.subTest(image=os.path.basename(image.root), branch=label):
                run = self.run_image(image, args, path=path)
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                expected = [image.win_exe, "-classpath", image.win_app_dir + "\\lib.jar",
                            APP_PATH_PROPERTY + image.win_exe, "Main", *args]
                self.assertEqual(run.call.argv, [arg.encode(run.call.codec, errors="replace")
                                                 for arg in expected])
                self.assertEqual(run.call.launcher_processes(image.name + ".exe"), 1 if path is None else 2)
                calls.append(run.call)
        return calls

    def test_spaces(self):
        self.check_image_runs(self.image(self.CONFIG, name="Demo App", directory="My Apps"))

    def test_non_ascii_letters(self):
        for label, launcher, code_page in self.code_page_builds:
            with self.subTest(label):
                if not launcher:
                    self.skipTest("no launcher built with the " + label)
                for directory in ["Jörg", "Юлия 日本"]:
                    image = self.image(self.CONFIG, directory=label + "/" + directory, launcher=launcher)
                    if code_page == 1252:
                        # Only what the legacy code page can represent
                        # reaches the runtime; the rest is refused, never
                        # passed on as a path that names no directory.
                        if directory != "Jörg":
                            for path in (None, ""):
                                self.assertFailed(self.run_image(image, path=path), UNREPRESENTABLE
                                                  % (image.win_exe, code_page))
                            continue
                        calls = self.check_image_runs(image, args=("arg with space", "Jörg"))
                    else:
                        calls = self.check_image_runs(image)
                    for call in calls:
                        self.assertEqual(call.acp, code_page)

    def test_long_path(self):
        # An image root of more than 260 characters runs in process, but the
        # restart cannot start the executable again: CreateProcessW refuses
        # an application name that long.
        directory = os.path.join(*["long-directory-name-%02d" % i for i in range(12)])
        image = self.image(self.CONFIG, directory=directory)
        self.assertGreater(len(image.win_exe), 260)
        self.check_image_runs(image, branches=[("in process", None)])
        run = self.run_image(image, path="")
        self.assertFailed(run, "CreateProcessW() failed. System error [2](system error 2 (File not found))")

    def test_error_text_is_utf8(self):
        # Whatever the ANSI code page, the error text is UTF-8.
        for label, launcher, _ in self.code_page_builds:
            with self.subTest(label):
                if not launcher:
                    self.skipTest("no launcher built with the " + label)
                image = self.image(config=None, directory=label + "/Jörg", launcher=launcher)
                run = self.run_image(image)
                self.assertFailed(run, 'Error opening "%s" file: No such file or directory'
                                  % image.win_config_path)
                self.assertIn("Jörg".encode("utf-8"), run.stderr)
                self.assertNotIn("JÃ¶rg".encode("utf-8"), run.stderr)


class CodePageTest(ImageTestCase):
    """What the runtime in our process receives for non-ASCII text, with the
    manifest's UTF-8 code page and with the build that leaves it out."""

    DIRECTORY = "Zoë 中文"
    ARGUMENT = "中文参数"
    CONFIG = "[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=" + ARGUMENT + "\n"

    def launch(self, variable):
        launcher = os.environ.get(variable)
        if not launcher:
            self.skipTest("no launcher build in " + variable)
        image = self.image(self.CONFIG, directory=self.DIRECTORY, launcher=launcher)
        run = self.run_image(image)
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        return image, run.call

    def test_utf8_code_page_keeps_every_byte(self):
        image, call = self.launch("VX_E2E_UTF8_LAUNCHER")
        self.assertEqual(call.acp, 65001)
        exe = image.win_exe.encode("utf-8")
        self.assertIn("Zoë 中文".encode("utf-8"), exe)
        self.assertEqual(call.argv[0], exe)
        self.assertEqual(call.argv[-2:], [b"Main", self.ARGUMENT.encode("utf-8")])
        self.assertIn((APP_PATH_PROPERTY + image.win_exe).encode("utf-8"), call.argv)

    def test_legacy_code_page_refuses_what_it_cannot_represent(self):
        launcher = os.environ.get("VX_E2E_LEGACY_LAUNCHER")
        if not launcher:
            self.skipTest("no launcher build in VX_E2E_LEGACY_LAUNCHER")
        # CJK letters in the image's own path: element 0 would name a
        # directory that does not exist.
        image = self.image(self.CONFIG, directory=self.DIRECTORY, launcher=launcher)
        self.assertFailed(self.run_image(image), UNREPRESENTABLE % (image.win_exe, 1252))
        # 'ë' exists in code page 1252 and arrives as its one byte there;
        # "Łódź Ω" has only look-alikes ("Lodz O"), which are refused too.
        image = self.image("[Application]\napp.mainclass=Main\n", directory="Zoë", launcher=launcher)
        run = self.run_image(image, ["Zoë"])
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        self.assertEqual(run.call.argv[0], image.win_exe.encode("cp1252"))
        self.assertEqual(run.call.argv[-1], b"Zo\xeb")
        self.assertFailed(self.run_image(image, ["Łódź Ω"]), UNREPRESENTABLE % ("Łódź Ω", 1252))

    def test_utf8_code_page_passes_every_argument_exactly(self):
        launcher = os.environ.get("VX_E2E_UTF8_LAUNCHER")
        if not launcher:
            self.skipTest("no launcher build in VX_E2E_UTF8_LAUNCHER")
        image = self.image("[Application]\napp.mainclass=Main\n", launcher=launcher)
        run = self.run_image(image, ["Łódź Ω", "文件"])
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        self.assertEqual(run.call.argv[-2:], ["Łódź Ω".encode("utf-8"), "文件".encode("utf-8")])


class ConsoleTest(ImageTestCase):
    """The console launcher: the caller's standard handles, exit codes and
    error texts, in process and through the restart."""

    CONFIG = "[Application]\napp.mainclass=Main\n"
    BRANCHES = [("in process", None), ("restarted", "")]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.console = os.environ.get("VX_E2E_CONSOLE_LAUNCHER")
        if not cls.console:
            raise unittest.SkipTest("VX_E2E_CONSOLE_LAUNCHER not set")

    def console_image(self, config=CONFIG, directory="img"):
        return self.image(config, name="Tool", directory=directory, launcher=self.console)

    def launch(self, image, path, **options):
        return images.Launch(self.tools, image, ["x"], path=path, **options)

    def test_subsystems(self):
        self.assertEqual(pe_subsystem(self.console), IMAGE_SUBSYSTEM_WINDOWS_CUI)
        self.assertEqual(pe_subsystem(self.tools.launcher), IMAGE_SUBSYSTEM_WINDOWS_GUI)

    def test_standard_handles_are_the_callers(self):
        image = self.console_image()
        env = {"VX_STUB_STDIN": "1", "VX_STUB_STDOUT": "out: Jörg\n", "VX_STUB_STDERR": "err: Юлия\n"}
        for label, path in self.BRANCHES:
            for handles in ("pipes", "files"):
                with self.subTest(label, handles=handles):
                    launch = self.launch(image, path, env=env, stdin=b"line one\nline two\n")
                    run = launch.run_with_pipes() if handles == "pipes" else launch.start().wait()
                    self.assertEqual(run.exit_code, 0, run.stderr_text)
                    self.assertEqual(run.stdout, "out: Jörg\n".encode("utf-8"))
                    self.assertEqual(run.stderr, "err: Юлия\n".encode("utf-8"))
                    self.assertEqual(run.call.stdin, b"line one\nline two\n")
                    self.assertEqual((run.call.stdout_type, run.call.stderr_type),
                                     ("pipe", "pipe") if handles == "pipes" else ("disk", "disk"))
                    self.assertEqual(run.call.launcher_processes("Tool.exe"), 1 if path is None else 2)

    def test_exit_codes_and_errors(self):
        image = self.console_image()
        missing = self.console_image(config=None, directory="missing")
        cases = [
            ("success", image, {}, 0, ""),
            ("application exit code", image, {"VX_STUB_EXIT_PROCESS": "3"}, 3, ""),
            ("launch failure", image, {"VX_STUB_EXIT": "1"}, 1, "Failed to launch JVM\r\n"),
            ("config error", missing, {}, 1,
             'Error opening "%s" file: No such file or directory\r\n' % missing.win_config_path),
        ]
        for label, target, env, code, stderr in cases:
            for branch, path in self.BRANCHES:
                with self.subTest(label, branch=branch):
                    run = self.launch(target, path, env=env).start().wait()
                    self.assertEqual((run.exit_code, run.stderr_text), (code, stderr))

    def test_debug_trace_on_standard_error(self):
        image = self.console_image()
        run = self.launch(image, "", debug="true").start().wait()
        self.assertEqual(run.exit_code, 0)
        lines = run.stderr_text.splitlines()
        self.assertEqual(sum(1 for line in lines if re.match(r"^\[TRACE\] app\.cpp:\d+: Entering app::launch$",
                                                             line)), 2, lines)
        # Trace records and the launch data's own debug lines, nothing else.
        self.assertTrue(all(TRACE_LINE.match(line) or line.startswith("jli ") for line in lines), lines)
        self.assertIn("[TRACE] Restart.cpp:", "\n".join(lines))
        self.assertEqual(run.stdout, b"")

    def test_ctrl_c_reaches_the_application(self):
        # Wine delivers console control events on a terminal: the helper
        # sends Ctrl+C to the whole console once the runtime runs; the stub
        # ends with 130 as the JVM does after its shutdown hooks, and the
        # parent of a restart passes that code on instead of dying first.
        image = self.console_image()
        for label, path in self.BRANCHES:
            with self.subTest(label):
                run = self.launch(image, path, ctrl_c=True, env={
                    "VX_STUB_CTRL_EXIT": "130", "VX_STUB_SLEEP_MS": "30000"}).run_in_terminal()
                self.assertEqual(run.exit_code, 130, (run.stdout, run.events))
                self.assertIn("console event 0", run.events)
                self.assertEqual(run.call.launcher_processes("Tool.exe"), 1 if path is None else 2)


def wine_prefix():
    """The prefix that the launcher runs in, chosen as cmake/wine-env.sh
    chooses it (CTest run by hand has no WINEPREFIX of its own)."""
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    return os.environ.get("VX_WINEPREFIX") or os.path.join(root, "build", "wineprefix")


IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3


def pe_subsystem(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 24 + 68:pe + 24 + 70], "little")


STARTF_USESHOWWINDOW = 0x1
STARTF_USESTDHANDLES = 0x100
STARTF_USEHOTKEY = 0x200
STARTF_TITLEISLINKNAME = 0x800


def wait_for_call(launch, timeout=30):
    """The stub runtime's record of a launch that is still running."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        calls = images.parse_record(images.read_file(launch.record_file))
        if calls:
            return calls[0]
        time.sleep(0.1)
    raise AssertionError("the runtime was not called")


def kill_processes_mentioning(text):
    for pid in images.processes_mentioning([text]):
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass


TRACE_LINE = re.compile(r"^\[(TRACE|INFO|WARNING|ERROR)\] [\w.-]+:\d+: ")


class DebugTraceTest(ImageTestCase):
    """VANTORIX_DEBUG=true: the trace on the console the launcher attaches
    to (here a pseudo-terminal)."""

    CONFIG = "[Application]\napp.mainclass=Main\n"

    def trace(self, image, path=None, debug="true", **options):
        run = images.Launch(self.tools, image, path=path, debug=debug, **options).run_in_terminal()
        lines = [line for line in run.stdout.decode("utf-8").split("\n") if line]
        return run, lines

    def assertTraceFrame(self, lines):
        """Every record in the "[LEVEL] file:line: text" layout; app::launch
        entered first and left last, the exit line with line 0."""
        records = [line for line in lines if line.startswith("[")]
        for line in records:
            self.assertRegex(line, TRACE_LINE)
        entry = re.match(r"^\[TRACE\] app\.cpp:(\d+): Entering app::launch$", records[0])
        self.assertIsNotNone(entry, records[0])
        self.assertEqual(records[-1], "[TRACE] app.cpp:0: Exiting app::launch (entered at app.cpp:%s)"
                         % entry.group(1))
        return records

    def test_successful_launch(self):
        image = self.image(self.CONFIG)
        run, lines = self.trace(image)
        self.assertEqual(run.exit_code, 0)
        records = self.assertTraceFrame(lines)
        self.assertEqual(sum(1 for line in records if line.endswith("Entering app::launch")), 1)
        self.assertTrue(any(line.endswith('Launcher config file path: "%s"' % image.win_config_path)
                            for line in records), lines)
        self.assertTrue(any(line.endswith("SetDllDirectory to: %s\\runtime\\bin" % image.win_root)
                            for line in records), lines)
        self.assertEqual(len(run.calls), 1)

    def test_restart_traces_both_processes(self):
        run, lines = self.trace(self.image(self.CONFIG), path="")
        self.assertEqual(run.exit_code, 0)
        records = self.assertTraceFrame(lines)
        self.assertEqual(sum(1 for line in records if line.endswith("Entering app::launch")), 2)
        self.assertEqual(sum(1 for line in records if "Exiting app::launch" in line), 2)
        # The parent's one word on its child: the code it passes on.
        self.assertEqual([line for line in records if "Child process" in line and "exited" in line],
                         [line for line in records if re.match(r"^\[TRACE\] Restart\.cpp:\d+: Child process "
                                                               r"exited with code 0$", line)])
        self.assertTrue(any(line.endswith("Child process exited with code 0") for line in records), lines)

    def test_failed_launch(self):
        image = self.image(config=None)
        run, lines = self.trace(image)
        self.assertEqual(run.exit_code, 1)
        self.assertTraceFrame(lines)
        text = 'Error opening "%s" file: No such file or directory' % image.win_config_path
        error = [line for line in lines if line.startswith("[ERROR]")]
        self.assertEqual(len(error), 1, lines)
        self.assertRegex(error[0], r"^\[ERROR\] app\.cpp:\d+: Exception with message '.*%s' caught$"
                         % re.escape(text))
        # The launch error text follows as a line of its own.
        self.assertEqual(lines[lines.index(error[0]) + 1], text)

    def test_other_values_leave_the_trace_off(self):
        image = self.image(self.CONFIG)
        for value in ["TRUE", " true", "1", ""]:
            with self.subTest(value=value):
                run, lines = self.trace(image, debug=value)
                self.assertEqual(run.exit_code, 0)
                self.assertEqual(lines, [])


class UserOptionsTest(ImageTestCase):
    """The user's own JVM options file: under %APPDATA%, or where the
    variable names it; the allowed lines follow the packaged options, in
    process and through the restart, for both launchers."""

    CONFIG = ("[Application]\napp.mainclass=Main\napp.user-options=-Xmx\napp.user-options=-Dapp.\n"
              "[JavaOptions]\njava-options=-Xmx512m\n")
    USER_FILE = "# mine\r\n-Xmx2g\r\n-Dapp.dir=$APPDIR\r\n-javaagent:agent.jar\r\n"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # Wine sets APPDATA from the prefix's registry, whatever the host's
        # environment says: the tests write into the prefix's own folder,
        # under application names of this run's own.
        environment = dict(os.environ, LC_ALL="C.UTF-8")
        echo = subprocess.run(cls.tools.wine_command("cmd", ["/c", "echo", "%APPDATA%"]), env=environment,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        cls.win_app_data = echo.stdout.decode("utf-8").strip()
        unix = subprocess.run(cls.tools.wine_command("winepath", ["-u", cls.win_app_data]), env=environment,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        cls.app_data = unix.stdout.decode("utf-8").strip()
        if not cls.win_app_data or not os.path.isdir(cls.app_data):
            raise RuntimeError("no %%APPDATA%% folder: %r, %r" % (echo, unix))

    def user_file(self, name, text):
        """Writes the application's file under %APPDATA%; removed after the test."""
        folder = os.path.join(self.app_data, name)
        self.addCleanup(shutil.rmtree, folder, True)
        return self.write(os.path.join(folder, name + ".jvmopts"), text)

    @staticmethod
    def write(path, text):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="") as out:
            out.write(text)
        return path

    def launchers(self):
        console = os.environ.get("VX_E2E_CONSOLE_LAUNCHER")
        return [("GUI", None)] + ([("console", console)] if console else [])

    def test_argument_list_with_the_file_under_appdata(self):
        for kind, launcher in self.launchers():
            name = "Demo-%s-%d" % (kind, os.getpid())
            image = self.image(self.CONFIG, name=name, directory=kind, launcher=launcher)
            self.user_file(name, self.USER_FILE)
            expected = [image.win_exe, "-Xmx512m", "-Xmx2g", "-Dapp.dir=" + image.win_app_dir,
                        APP_PATH_PROPERTY + image.win_exe, "Main", "x"]
            for branch, path in [("in process", None), ("restarted", "")]:
                with self.subTest(kind, branch=branch):
                    run = self.run_image(image, ["x"], path=path)
                    self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                    self.assertEqual(run.call.launcher_processes(name + ".exe"), 1 if path is None else 2)
                    self.assertArguments(run, expected)

    def test_trace_names_the_line_left_out(self):
        # The console launcher writes its trace to standard error.
        console = dict(self.launchers()).get("console")
        if not console:
            self.skipTest("VX_E2E_CONSOLE_LAUNCHER not set")
        name = "Tool-%d" % os.getpid()
        image = self.image(self.CONFIG, name=name, launcher=console)
        self.user_file(name, self.USER_FILE)
        run = self.run_image(image, debug="true")
        self.assertEqual(run.exit_code, 0)
        win_file = "%s\\%s\\%s.jvmopts" % (self.win_app_data, name, name)
        self.assertIn('] UserJvmOptions.cpp:', run.stderr_text)
        self.assertIn('User JVM options file "%s", line 4: left out, "-javaagent:agent.jar": no allowed prefix '
                      'matches it' % win_file, run.stderr_text)

    def test_variable_and_paths_with_letters_of_other_scripts(self):
        name = "Jörg-%d" % os.getpid()
        image = self.image(self.CONFIG, name=name)
        self.user_file(name, "-Dapp.from=appdata\n")
        portable = self.write(os.path.join(self.work, "USB Ünïcode Юлия 日本", "Демо.jvmopts"), "-Dapp.from=variable\n")
        variable = "J_RG_%d_JVMOPTS_FILE" % os.getpid()
        cases = [
            ("the folder under %APPDATA%", None, ["-Dapp.from=appdata"]),
            ("the variable names another file", images.windows_path(portable), ["-Dapp.from=variable"]),
            ("the variable set to nothing", "", []),
        ]
        for label, value, user_options in cases:
            with self.subTest(label):
                run = self.run_image(image, env={} if value is None else {variable: value})
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                self.assertArguments(run, [image.win_exe, "-Xmx512m"] + user_options +
                                     [APP_PATH_PROPERTY + image.win_exe, "Main"])


class DesktopTestCase(ImageTestCase):
    """Runs under a private X server and a private Wine prefix, so that a
    message box is a real window that nobody else sees."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for program in ("Xvfb", "xdotool"):
            if not shutil.which(program):
                raise unittest.SkipTest(program + " is not installed")
        if not cls.tools.msgbox_reader:
            raise unittest.SkipTest("VX_E2E_MSGBOX_READER not set")
        cls.prefix = os.path.join(os.environ.get("VX_E2E_WORK") or tempfile.gettempdir(),
                                  "wineprefix-" + cls.__name__)
        cls.xvfb, cls.display = start_xvfb()
        cls.saved_prefix = os.environ.get("VX_WINEPREFIX")
        os.environ["VX_WINEPREFIX"] = cls.prefix
        # A new prefix finishes its set-up while its first programs run:
        # Wine may say so on their standard error, and the first program
        # that uses the display starts Wine's desktop, before which a
        # message box fails at once. Let that happen to a program whose
        # output nobody reads.
        for _ in range(2):
            subprocess.run(cls.tools.wine_command(cls.tools.msgbox_reader,
                                                  ["--no-such-window--", "--timeout-ms", "0"]),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=dict(os.environ, DISPLAY=cls.display), timeout=120)

    @classmethod
    def tearDownClass(cls):
        # Only this class's own Wine processes and X server.
        subprocess.run(["bash", "-c", '. "$1"; vx_wine_stop', "stop",
                        os.path.join(os.path.dirname(cls.tools.wine_run), "wine-env.sh")],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if cls.saved_prefix is None:
            os.environ.pop("VX_WINEPREFIX", None)
        else:
            os.environ["VX_WINEPREFIX"] = cls.saved_prefix
        cls.xvfb.terminate()
        cls.xvfb.wait(10)

    def launch(self, image, **options):
        launch = images.Launch(self.tools, image, display=self.display, **options).start()
        self.addCleanup(launch.kill)
        return launch

    def windows(self, caption):
        """The X windows named exactly caption."""
        return self.xdotool("search", "--name", "^%s$" % re.escape(caption))

    def find_window(self, caption, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            windows = self.windows(caption)
            if windows:
                return windows[0]
            time.sleep(0.2)
        return None

    def read_box(self, caption):
        out = os.path.join(self.work, "box.txt")
        with open(out, "wb") as stdout:
            subprocess.run(self.tools.wine_command(self.tools.msgbox_reader, [caption]), stdout=stdout,
                           stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                           env=dict(os.environ, DISPLAY=self.display, LC_ALL="C.UTF-8"))
        # Line ends as the box holds them or as the reader wrote them: "\n".
        with open(out, "rb") as f:
            return f.read().decode("utf-8").replace("\r", "")

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display),
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL).stdout.decode().split()

    def owners(self, caption):
        """The host processes that show a window named caption."""
        return [pid for window in self.windows(caption) for pid in self.xdotool("getwindowpid", window)]

    def close_box(self, window, caption):
        owner = self.xdotool("getwindowpid", window)
        self.xdotool("key", "--window", window, "Return")
        # The X server hands a closed window's number to the next client, so
        # the box's owner tells whether it is gone.
        deadline = time.monotonic() + 10
        while owner and owner[0] in self.owners(caption) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertFalse(owner and owner[0] in self.owners(caption), "the box did not close")

    def expect_box(self, launch, caption, text):
        window = self.find_window(caption)
        self.assertIsNotNone(window, "no message box captioned " + caption)
        self.assertEqual(self.read_box(caption), text)
        self.assertIsNone(launch.process.poll(), "the launcher must wait for the box")
        self.close_box(window, caption)

    def tearDown(self):
        # A box left open by a failed test must not block the next one.
        for window in self.windows("Demo.exe") + self.windows("Other App.exe") + self.windows("Tool.exe"):
            self.xdotool("windowkill", window)
        super().tearDown()



class MessageBoxTest(DesktopTestCase):
    """The message box of a failed launch."""

    def test_failed_launch_shows_the_error(self):
        image = self.image(config=None, name="Other App", directory="Jörg")
        launch = self.launch(image)
        text = 'Error opening "%s" file: No such file or directory' % image.win_config_path
        self.expect_box(launch, "Other App.exe", text)
        run = launch.wait()
        self.assertEqual((run.exit_code, run.stderr_text), (1, text + "\r\n"))

    def test_failed_child_shows_the_only_box(self):
        image = self.image("[Application]\napp.mainclass=Main\n")
        launch = self.launch(image, path="", stub_exit=1)
        self.expect_box(launch, "Demo.exe", "Failed to launch JVM")
        run = launch.wait()
        self.assertEqual((run.exit_code, run.stderr_text), (1, "Failed to launch JVM\r\n"))
        self.assertEqual(self.windows("Demo.exe"), [])

    def test_application_exit_code_through_the_restart_shows_no_box(self):
        image = self.image("[Application]\napp.mainclass=Main\n")
        run = self.launch(image, path="", env={"VX_STUB_EXIT_PROCESS": "3"}).wait()
        self.assertEqual((run.exit_code, run.stderr_text), (3, ""))
        self.assertIsNone(self.find_window("Demo.exe", timeout=1))

    def test_no_box_where_no_window_station_is_visible(self):
        # As in a service or a scheduled task: nobody could close a box, so
        # the launcher must not wait for one.
        missing = self.image(config=None, directory="missing")
        cases = [("config error", missing, None, 'Error opening "%s" file: No such file or directory'
                  % missing.win_config_path),
                 ("failed child", self.image("[Application]\napp.mainclass=Main\n"), "", "Failed to launch JVM")]
        for label, image, path, text in cases:
            with self.subTest(label):
                run = self.launch(image, path=path, stub_exit=1, starter=["--hidden-window-station"]).wait()
                self.assertEqual((run.exit_code, run.stderr_text), (1, text + "\r\n"))
                self.assertEqual(self.windows("Demo.exe"), [])

    def test_long_error_text_is_cut_in_the_box_only(self):
        runtime = "r" * 200 + ("\\" + "d" * 200) * 24
        image = self.image("[Application]\napp.runtime=%s\n" % runtime)
        text = 'Failed to find JVM in "%s\\%s" directory.' % (image.win_root, runtime)
        self.assertGreater(len(text), 5000)
        launch = self.launch(image)
        self.expect_box(launch, "Demo.exe", text[:3000] + "\n[...]\n" + text[-1000:])
        run = launch.wait()
        self.assertEqual((run.exit_code, run.stderr_text), (1, text + "\r\n"))

    def test_console_launcher_never_shows_a_box(self):
        console = os.environ.get("VX_E2E_CONSOLE_LAUNCHER")
        if not console:
            self.skipTest("VX_E2E_CONSOLE_LAUNCHER not set")
        image = self.image(config=None, name="Tool", launcher=console)
        for path in (None, ""):
            run = self.launch(image, path=path).wait()
            self.assertEqual((run.exit_code, run.stderr_text),
                             (1, 'Error opening "%s" file: No such file or directory\r\n' % image.win_config_path))
            self.assertIsNone(self.find_window("Tool.exe", timeout=1))

    def test_successful_launch_shows_no_box(self):
        image = self.image("[Application]\napp.mainclass=Main\n")
        run = self.launch(image).wait(timeout=60)
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        self.assertIsNone(self.find_window("Demo.exe", timeout=1))


def peak_memory_kib(pid):
    """The peak resident memory of a host process (a Windows process under
    Wine is one host process)."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise AssertionError("no VmHWM for %d" % pid)


class CapturedErrorsTest(DesktopTestCase):
    """Started without standard error (a double-click), the parent of a
    restart shows what the child wrote to its standard error when it
    failed; the child shows nothing of its own."""

    CONFIG = "[Application]\napp.mainclass=Main\n"
    NOT_FOUND = "Error: Could not find or load main class Foo"

    def double_click(self, image, env=None, **options):
        return self.launch(image, path="", starter=["--no-std-handles"], env=env, **options)

    @staticmethod
    def launcher_processes(image):
        # The helper that started the parent names the image too.
        return [pid for pid in images.processes_mentioning([image.root, image.win_root])
                if pid not in images.processes_mentioning(["e2ehelper"])]

    def the_parent(self, image):
        """The one launcher process left once the child has ended."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            processes = self.launcher_processes(image)
            if len(processes) == 1:
                return processes[0]
            time.sleep(0.1)
        raise AssertionError("the child did not end")

    def test_runtime_message_is_shown(self):
        image = self.image(self.CONFIG)
        launch = self.double_click(image, {"VX_STUB_STDERR": "Picked up JAVA_TOOL_OPTIONS\r\n" + self.NOT_FOUND
                                           + "\r\n", "VX_STUB_EXIT_PROCESS": "1"})
        window = self.find_window("Demo.exe")
        self.assertIsNotNone(window)
        self.assertEqual(self.read_box("Demo.exe"), "Picked up JAVA_TOOL_OPTIONS\n" + self.NOT_FOUND)
        self.close_box(window, "Demo.exe")
        run = launch.wait()
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(self.windows("Demo.exe"), [])

    def test_launch_failure_of_the_child_is_shown_once(self):
        image = self.image(self.CONFIG)
        launch = self.double_click(image, stub_exit=1)
        self.expect_box(launch, "Demo.exe", "Failed to launch JVM")
        run = launch.wait()
        self.assertEqual(run.exit_code, 1)
        self.assertIsNone(self.find_window("Demo.exe", timeout=2))

    def test_no_box_without_both_failure_and_output(self):
        image = self.image(self.CONFIG)
        cases = [("code 3, nothing written", {"VX_STUB_EXIT_PROCESS": "3"}, 3),
                 ("code 0 after writing", {"VX_STUB_STDERR": "a warning\n"}, 0)]
        for label, env, code in cases:
            with self.subTest(label):
                run = self.double_click(image, env).wait()
                self.assertEqual(run.exit_code, code)
                self.assertIsNone(self.find_window("Demo.exe", timeout=1))

    def test_large_output_keeps_its_end_in_little_memory(self):
        image = self.image(self.CONFIG)
        peaks = {}
        for label, env in [("quiet", {"VX_STUB_STDERR": "one line\n"}), ("50 MB", {"VX_STUB_STDERR_MB": "50"})]:
            with self.subTest(label):
                env["VX_STUB_EXIT_PROCESS"] = "1"
                launch = self.double_click(image, env)
                window = self.find_window("Demo.exe", timeout=120)
                self.assertIsNotNone(window, "no box")
                peaks[label] = peak_memory_kib(self.the_parent(image))
                text = self.read_box("Demo.exe")
                self.close_box(window, "Demo.exe")
                self.assertEqual(launch.wait(timeout=60).exit_code, 1)
        # 50 MB of numbered 64-byte lines: the box ends with the last one.
        last = "stderr line %010d " % (50 * 1024 * 1024 // 64 - 1)
        self.assertTrue(text.startswith("...\n"), text[:100])
        self.assertIn(last, text.splitlines()[-1])
        self.assertLess(peaks["50 MB"] - peaks["quiet"], 4 * 1024, peaks)

    def test_descendant_holding_standard_error_does_not_keep_the_parent(self):
        image = self.image(self.CONFIG)
        token = "holder-%d" % os.getpid()
        self.addCleanup(kill_processes_mentioning, token)
        run = self.double_click(image, {
            "VX_STUB_SPAWN": '"%s" sleep 60000 %s' % (images.windows_path(self.tools.helper), token),
            "VX_STUB_SPAWN_INHERIT": "1", "VX_STUB_EXIT_PROCESS": "3",
        }).wait(timeout=30)
        self.assertEqual(run.exit_code, 3)
        self.assertTrue(images.processes_mentioning([token]), "the descendant is gone, so it proves nothing")

    def test_shortcut_with_a_hot_key_leaves_the_report_to_the_child(self):
        # The hot key takes the standard handles' field of the start-up
        # information: the parent must not add its channel there.
        image = self.image(self.CONFIG)
        launch = self.launch(image, path="", starter=["--hotkey", "1601"], stub_exit=1)
        window = self.find_window("Demo.exe")
        self.assertIsNotNone(window, "no message box")
        self.assertEqual(len(self.launcher_processes(image)), 2, "the box is not the child's")
        self.assertEqual(self.read_box("Demo.exe"), "Failed to launch JVM")
        self.close_box(window, "Demo.exe")
        run = launch.wait()
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.call.startup_flags & (STARTF_USEHOTKEY | STARTF_USESTDHANDLES), STARTF_USEHOTKEY)
        self.assertIsNone(self.find_window("Demo.exe", timeout=1))

    def test_box_does_not_hold_up_a_descendant_that_writes(self):
        # A process that the application left behind goes on writing to the
        # standard error it inherited, far more than the pipe holds.
        image = self.image(self.CONFIG)
        done = os.path.join(self.work, "descendant-done")
        self.addCleanup(kill_processes_mentioning, images.windows_path(done))
        launch = self.double_click(image, {
            "VX_STUB_SPAWN": '"%s" write-stderr 4096 "%s"' % (images.windows_path(self.tools.helper),
                                                              images.windows_path(done)),
            "VX_STUB_SPAWN_INHERIT": "1", "VX_STUB_STDERR": "failed\n", "VX_STUB_EXIT_PROCESS": "1",
        })
        window = self.find_window("Demo.exe")
        self.assertIsNotNone(window, "no message box")
        deadline = time.monotonic() + 30
        while not os.path.exists(done) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertTrue(os.path.exists(done), "the descendant waits for the box")
        self.assertIsNone(launch.process.poll(), "the launcher must wait for the box")
        self.close_box(window, "Demo.exe")
        self.assertEqual(launch.wait().exit_code, 1)

    def test_nul_bytes_show_as_replacement_characters(self):
        image = self.image(self.CONFIG)
        # "No" from a UTF-16 writer: N, NUL, o, NUL.
        launch = self.double_click(image, {"VX_STUB_STDERR": "No", "VX_STUB_STDERR_UTF16": "1",
                                           "VX_STUB_EXIT_PROCESS": "1"})
        self.expect_box(launch, "Demo.exe", "N\ufffdo\ufffd")
        self.assertEqual(launch.wait().exit_code, 1)

    def test_redirected_standard_error_is_left_alone(self):
        image = self.image(self.CONFIG)
        run = self.launch(image, path="", env={"VX_STUB_STDERR": self.NOT_FOUND + "\n",
                                               "VX_STUB_EXIT_PROCESS": "1"}).wait()
        self.assertEqual((run.exit_code, run.stderr_text), (1, self.NOT_FOUND + "\n"))
        self.assertIsNone(self.find_window("Demo.exe", timeout=1))

class FastStartTest(ImageTestCase):
    """The class-data options the runtime gets for each version its release
    file claims, and the per-user cache under %LOCALAPPDATA%."""

    CONFIG = ("[Application]\napp.classpath=$APPDIR\\a.jar\napp.mainclass=Main\napp.fast-start=true\n"
              "[JavaOptions]\njava-options=-Xmx64m\n")

    @staticmethod
    def slot(image):
        value = 14695981039346656037
        for byte in ("image=" + image.win_root).encode("utf-8"):
            value = ((value ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
        return "%016x" % value

    def test_options_for_each_runtime_version(self):
        # Wine gives every program the prefix's own %LOCALAPPDATA%, whatever
        # the host's environment says: each case has an application name of
        # its own there, removed afterwards.
        local = glob.glob(os.path.join(wine_prefix(), "drive_c", "users", "*", "AppData", "Local"))
        self.assertEqual(len(local), 1, local)
        # Every version from 13 on lists its classes at the first launch.
        cases = [
            ("11.0.2", None),
            ("17.0.2", ["-XX:DumpLoadedClassList={T}"]),
            ("21.0.1", ["-XX:DumpLoadedClassList={T}"]),
            ("25", ["-XX:DumpLoadedClassList={T}"]),
        ]
        for version, expected in cases:
            with self.subTest(version):
                name = "VxFastStart" + version.replace(".", "-")
                # The cache is a folder of the launcher's own in the application's folder.
                cache = os.path.join(local[0], name, "ClassData")
                shutil.rmtree(os.path.dirname(cache), ignore_errors=True)
                self.addCleanup(shutil.rmtree, os.path.dirname(cache), True)
                image = self.image(self.CONFIG, name=name, directory="v" + version)
                image.add_file(os.path.join("runtime", "release"), b'JAVA_VERSION="%s"\r\n' % version.encode())
                run = self.run_image(image)
                self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
                arguments = run.call.arguments()
                self.assertEqual(arguments[:4], [image.win_exe, "-classpath", image.win_app_dir + "\\a.jar",
                                                 "-Xmx64m"])
                self.assertEqual(arguments[-2:], [APP_PATH_PROPERTY + image.win_exe, "Main"])
                if expected is None:
                    self.assertEqual(arguments[4:-2], [])
                    self.assertFalse(os.path.exists(cache))
                    continue
                output = re.compile(r"C:\\users\\[^\\]+\\AppData\\Local\\%s\\ClassData\\%s\.[0-9a-f]{16}\.%d\.tmp" % (
                    name, self.slot(image), run.call.pid))
                self.assertEqual(len(arguments[4:-2]), len(expected), arguments)
                for argument, pattern in zip(arguments[4:-2], expected):
                    prefix, _, rest = pattern.partition("{T}")
                    self.assertTrue(argument.startswith(prefix), argument)
                    if pattern != prefix:
                        self.assertRegex(argument[len(prefix):], "^" + output.pattern + "$")
                # The stub writes no class list: the exit leaves a failure
                # marker for the key (beside the slot's record of its image),
                # and the next launch adds nothing.
                self.assertEqual(sorted(os.listdir(cache)), [self.slot(image) + ".failed", self.slot(image) + ".image"])
                again = self.run_image(image)
                self.assertEqual(again.call.arguments(), arguments[:4] + arguments[-2:])

    def test_exit_through_the_runtimes_c_runtime_finishes_the_cache(self):
        # An application that calls System.exit never returns to the
        # launcher: the runtime ends the process with the universal C
        # runtime's exit, whose handlers must still finish the cache's work.
        local = glob.glob(os.path.join(wine_prefix(), "drive_c", "users", "*", "AppData", "Local"))[0]
        for label, env in [("returns", {}), ("C runtime's exit", {"VX_STUB_EXIT_CRT": "3"})]:
            with self.subTest(label):
                name = "VxFastStartExit" + str(len(env))
                cache = os.path.join(local, name, "ClassData")
                shutil.rmtree(os.path.dirname(cache), ignore_errors=True)
                self.addCleanup(shutil.rmtree, os.path.dirname(cache), True)
                image = self.image(self.CONFIG, name=name, directory=name)
                image.add_file(os.path.join("runtime", "release"), b'JAVA_VERSION="17"\n')
                run = self.run_image(image, env=env)
                self.assertEqual((run.exit_code, run.stderr_text), (3 if env else 0, ""))
                self.assertEqual(sorted(os.listdir(cache)), [self.slot(image) + ".failed", self.slot(image) + ".image"])


def start_xvfb():
    """Starts Xvfb on a display number it picks itself; returns the process
    and the display name."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                                "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()
    if not number:
        process.kill()
        raise RuntimeError("Xvfb did not start")
    return process, ":" + number


class SingleInstanceTest(ImageTestCase):
    """The launcher's side of the single instance under Wine. Wine 8 has no
    AF_UNIX sockets (socket() fails with WSAEAFNOSUPPORT), so a start finds
    no instance: it runs as one of its own, names its endpoint for the
    instance to listen at, and the trace says why."""

    CONFIG = "[Application]\napp.mainclass=Main\napp.single-instance=true\n"

    def test_a_start_without_a_reachable_instance_is_its_own(self):
        image = self.image(self.CONFIG)
        args = ["two words", "Grüße"]
        run = self.run_image(image, args)
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        arguments = run.call.arguments()
        at = arguments.index(APP_PATH_PROPERTY + image.win_exe)
        self.assertRegex(arguments[at + 1],
                         r"^-Dvantorix\.instance-endpoint=C:\\users\\[^\\]+\\AppData\\Local\\vantorix"
                         r"\\Demo-\d+\.sock$")
        self.assertEqual(arguments[at + 2:], ["Main"] + args)

        traced = images.Launch(self.tools, image, args, debug="true").run_in_terminal()
        trace = traced.stdout.decode("utf-8", errors="replace")
        self.assertEqual(traced.exit_code, 0, trace)
        self.assertIn("Single instance: socket(AF_UNIX, SOCK_STREAM) failed", trace)
        self.assertIn("this start is an instance of its own", trace)


if __name__ == "__main__":
    unittest.main()
