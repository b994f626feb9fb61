"""End-to-end tests of several launchers in one image, and of the file types
and URL schemes that the installers register.

    test_desktop.py [-v] WindowsLaunchersTest|SetupDesktopTest
        (under Wine with the stub runtime; the variables of test_launcher.py)
    test_desktop.py [-v] LinuxLaunchersTest|DebianDesktopTest
        (with the installed Java 17 runtime; VX_E2E_LINUX_LAUNCHER; the
        Debian test as root, with xdg-utils, desktop-file-utils and
        shared-mime-info)

Besides those: VX_E2E_IMAGE_TOOL, the tool's jar, run with the `java` on
PATH. Every run uses names of its own and removes what it installed.
"""

import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import image as images  # noqa: E402
import linux_image  # noqa: E402
from test_installer import RUN_ID, UNINSTALL_KEY, Wine, have_tools, link_target, run_tool, \
    skip_class_unless  # noqa: E402
from test_launcher import IMAGE_SUBSYSTEM_WINDOWS_CUI, IMAGE_SUBSYSTEM_WINDOWS_GUI, pe_subsystem  # noqa: E402

TOOL = os.environ.get("VX_E2E_IMAGE_TOOL", "")
JAVA = shutil.which("java")

# Two programs in one jar: App (the primary and the GUI launchers) and Cli
# (the console launcher), each saying who it is, its arguments, the
# property that only the user's options file of its own launcher sets, and
# ending with its own exit code.
SOURCES = {
    "App.java": "public class App { public static void main(String[] a) {"
                " System.out.println(\"app \" + System.getProperty(\"vx.who\") + \" \" + String.join(\"|\", a));"
                " } }\n",
    "Cli.java": "public class Cli { public static void main(String[] a) {"
                " System.out.println(\"cli \" + System.getProperty(\"vx.who\") + \" \" + String.join(\"|\", a));"
                " System.exit(7); } }\n",
}


def make_input(directory):
    classes = directory + ".classes"
    os.makedirs(classes)
    os.makedirs(directory)
    for name, text in SOURCES.items():
        with open(os.path.join(classes, name), "w") as out:
            out.write(text)
    subprocess.run(["javac", "-d", classes] + [os.path.join(classes, n) for n in SOURCES], check=True)
    subprocess.run(["jar", "--create", "--file", os.path.join(directory, "app.jar"), "--main-class", "App",
                    "-C", classes, "."], check=True)
    subprocess.run(["jar", "--create", "--file", os.path.join(directory, "cli.jar"), "--main-class", "Cli",
                    "-C", classes, "."], check=True)
    return directory


def setUpModule():
    if not TOOL or not os.path.isfile(TOOL) or not JAVA:
        raise RuntimeError("the image tool's jar (VX_E2E_IMAGE_TOOL=%r) or java is missing" % TOOL)


class DesktopTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-desktop-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def make(self, name, *options):
        """The image (and installer) of the two programs; the tool's notes."""
        output = os.path.join(self.work, "out", name)
        code, out, err = run_tool(["--name", name, "--input", make_input(os.path.join(self.work, "input")),
                                   "--main-jar", "app.jar", "--output", output] + list(options))
        self.assertEqual(code, 0, out + err)
        return output, err


class WindowsLaunchersTest(DesktopTestCase):
    """An image with a GUI and a console launcher beside the primary one,
    run under Wine with the stub runtime."""

    @classmethod
    def setUpClass(cls):
        cls.tools = images.Tools.from_environment()

    def test_gui_and_console_launchers_run(self):
        root, _ = self.make("Orbit", "--runtime", self.tools.stub_runtime,
                            "--launchers", os.path.dirname(self.tools.launcher),
                            "--launcher", "Orbit View=Cli", "--console-launcher", "orbit-cli=jar:cli.jar")
        for name, subsystem in (("Orbit", IMAGE_SUBSYSTEM_WINDOWS_GUI), ("Orbit View", IMAGE_SUBSYSTEM_WINDOWS_GUI),
                                ("orbit-cli", IMAGE_SUBSYSTEM_WINDOWS_CUI)):
            self.assertEqual(pe_subsystem(os.path.join(root, name + ".exe")), subsystem, name)
        primary = images.AppImage(root, "Orbit")
        run = images.run(self.tools, primary, ["x"])
        self.assertEqual(run.exit_code, 0, run.stderr_text)
        self.assertEqual(run.call.arguments()[-3:], ["-jar", primary.win_app_dir + "\\app.jar", "x"])

        view = images.AppImage(root, "Orbit View")
        run = images.run(self.tools, view, ["y"])
        self.assertEqual(run.exit_code, 0, run.stderr_text)
        arguments = run.call.arguments()
        self.assertEqual(arguments[1:3], ["-classpath", view.win_app_dir + "\\app.jar"])
        self.assertEqual(arguments[-2:], ["Cli", "y"])

        # The console launcher writes to the caller's handles and ends with
        # the program's exit code.
        cli = images.AppImage(root, "orbit-cli")
        launch = images.Launch(self.tools, cli, ["z"], env={"VX_STUB_EXIT_PROCESS": "7", "VX_STUB_STDOUT": "cli says\n"})
        run = launch.run_with_pipes()
        self.assertEqual((run.exit_code, run.stdout), (7, b"cli says\n"), run.stderr_text)
        self.assertEqual(run.call.stdout_type, "pipe")
        self.assertEqual(run.call.arguments()[-3:], ["-jar", cli.win_app_dir + "\\cli.jar", "z"])


class LinuxLaunchersTest(DesktopTestCase):
    """The same image for linux-x64 with a runtime linked from Java 17: each
    launcher runs its own program, with its own user options file."""

    @classmethod
    def setUpClass(cls):
        cls.runtime, reason = linux_image.find_runtime("x86_64")
        if cls.runtime is None:
            skip_class_unless(False, reason)
        cls.launchers = os.path.dirname(os.environ["VX_E2E_LINUX_LAUNCHER"])

    def run_image(self, exe, args, config_home):
        return linux_image.run(exe, args, XDG_CONFIG_HOME=config_home,
                               XDG_CACHE_HOME=os.path.join(self.work, "cache"))

    def test_each_launcher_runs_its_program_with_its_own_user_options(self):
        root, _ = self.make("Orbit", "--launchers", self.launchers, "--launcher", "Orbit View=Cli",
                            "--console-launcher", "orbit-cli=jar:cli.jar", "--user-option", "-Dvx.who=")
        config_home = os.path.join(self.work, "config")
        for name in ("Orbit View", "orbit-cli"):
            os.makedirs(os.path.join(config_home, name))
            with open(os.path.join(config_home, name, name + ".jvmopts"), "w") as out:
                out.write("-Dvx.who=%s\n" % name)
        cases = [("Orbit", 0, "app null a b"), ("Orbit View", 7, "cli Orbit View a b"),
                 ("orbit-cli", 7, "cli orbit-cli a b")]
        for name, code, line in cases:
            with self.subTest(name):
                completed = self.run_image(os.path.join(root, name), ["a", "b"], config_home)
                self.assertEqual((completed.returncode, completed.stdout.decode().splitlines()),
                                 (code, [line.replace(" a b", " a|b")]), completed.stderr)


class SetupDesktopTest(DesktopTestCase):
    """Setup programs with a second launcher, a file type and a URL scheme,
    under Wine: the registry after setup, the open path, and uninstall."""

    @classmethod
    def setUpClass(cls):
        skip_class_unless(have_tools("makensis", "javac", "jar"), "makensis and the JDK are needed")
        cls.tools = images.Tools.from_environment()
        cls.wine = Wine(cls.tools)

    def make_setup(self, name, *options):
        root, notes = self.make(name, "--runtime", self.tools.stub_runtime,
                                "--launchers", os.path.dirname(self.tools.launcher),
                                "--wine", "%s --arch=%s" % (self.tools.wine_run, self.tools.arch),
                                "--version", "1.0", "--vendor", "Vantorix Tests", "--installer", "exe",
                                "--launcher", "Viewer=Cli", *options)
        return os.path.join(os.path.dirname(root), "%s-1.0-setup.exe" % name), notes

    def uninstall(self, install_dir, key):
        self.assertEqual(self.wine.run(os.path.join(install_dir, "uninstall.exe"), ["/S"]), 0)
        deadline = time.time() + 90
        while self.wine.registry_values(key) is not None and time.time() < deadline:
            time.sleep(0.5)
        self.assertIsNone(self.wine.registry_values(key))

    def test_user_registrations_and_their_removal(self):
        name = "VxDesk" + RUN_ID
        ext, other, scheme = "vxd" + RUN_ID, "vxo" + RUN_ID, "vxd" + RUN_ID
        app_id = "Vantorix-Tests." + name
        classes = "HKCU\\Software\\Classes\\"
        key = "HKCU\\" + UNINSTALL_KEY + app_id
        local = self.wine.variable("LOCALAPPDATA")
        start_menu = self.wine.variable("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs\\"
        # The application id names the install folder.
        win_dir = local + "\\Programs\\" + app_id
        for leftover in (classes + "." + ext, classes + "." + other, classes + app_id + "." + ext,
                         classes + app_id + "." + other, classes + scheme, key):
            self.addCleanup(self.wine.output, "reg", ["delete", leftover, "/f"])
        # Another program's association, which setup must leave as it is.
        self.wine.output("reg", ["add", classes + "." + other, "/ve", "/d", "Other.Program", "/f"])

        setup, notes = self.make_setup(name, "--file-association", "." + ext + "=application/x-vx-desk",
                                       "--file-association", "." + other + "@Viewer", "--url-scheme", scheme)
        self.assertIn("the file type .%s is registered as application/x-%s-%s" % (other, name.lower(), other), notes)
        self.assertEqual(self.wine.run(setup, ["/S"]), 0, self.wine.last_output)
        exe = win_dir + "\\" + name + ".exe"
        viewer = win_dir + "\\Viewer.exe"
        self.assertEqual(link_target(self.wine.host_path(start_menu + "Viewer.lnk")).lower(), viewer.lower())
        self.assertEqual(self.wine.registry_values(classes + "." + ext),
                         {"(Default)": app_id + "." + ext, "Content Type": "application/x-vx-desk"})
        self.assertEqual(self.wine.registry_values(classes + app_id + "." + ext),
                         {"(Default)": "%s .%s file" % (name, ext)})
        self.assertEqual(self.wine.registry_values(classes + app_id + "." + ext + "\\DefaultIcon"),
                         {"(Default)": exe + ",0"})
        self.assertEqual(self.wine.registry_values(classes + app_id + "." + ext + "\\shell\\open\\command"),
                         {"(Default)": '"%s" "%%1"' % exe})
        self.assertEqual(self.wine.registry_values(classes + "." + ext + "\\OpenWithProgids"),
                         {app_id + "." + ext: ""})
        # The other program keeps the default; the application is offered.
        self.assertEqual(self.wine.registry_values(classes + "." + other)["(Default)"], "Other.Program")
        self.assertEqual(self.wine.registry_values(classes + app_id + "." + other + "\\shell\\open\\command"),
                         {"(Default)": '"%s" "%%1"' % viewer})
        self.assertEqual(self.wine.registry_values(classes + scheme),
                         {"(Default)": "URL:%s link" % name, "URL Protocol": ""})
        self.assertEqual(self.wine.registry_values(classes + scheme + "\\shell\\open\\command"),
                         {"(Default)": '"%s" "%%1"' % exe})

        self.uninstall(self.wine.host_path(win_dir), key)
        for gone in (classes + "." + ext, classes + app_id + "." + ext, classes + app_id + "." + other,
                     classes + scheme):
            self.assertIsNone(self.wine.registry_values(gone), gone)
        self.assertEqual(self.wine.registry_values(classes + "." + other), {"(Default)": "Other.Program"})
        self.assertFalse(os.path.exists(self.wine.host_path(start_menu + "Viewer.lnk")))

    def test_machine_setup_opens_files_and_links(self):
        name = "VxOpen" + RUN_ID
        ext, scheme = "vxm" + RUN_ID, "vxm" + RUN_ID
        app_id = "vx.open." + RUN_ID
        classes = "HKLM\\Software\\Classes\\"
        key = "HKLM\\" + UNINSTALL_KEY + app_id
        win_dir = "C:\\vx-open-" + RUN_ID
        for leftover in (classes + "." + ext, classes + app_id + "." + ext, classes + scheme, key):
            self.addCleanup(self.wine.output, "reg", ["delete", leftover, "/f"])
        self.addCleanup(shutil.rmtree, self.wine.host_path(win_dir), True)
        setup, _ = self.make_setup(name, "--install-scope", "machine", "--app-id", app_id,
                                   "--file-association", "." + ext, "--url-scheme", scheme)
        self.assertEqual(self.wine.run(setup, ["/S", "/D=" + win_dir]), 0, self.wine.last_output)
        install_dir = self.wine.host_path(win_dir)
        installed = images.AppImage(install_dir, name)

        document = os.path.join(self.work, "my file." + ext)
        with open(document, "w") as out:
            out.write("text")
        url = scheme + "://open/item?id=1"
        for label, words, expected in (("file", ["/wait", "/unix", document], images.windows_path(document)),
                                       ("link", ["/wait", url], url)):
            with self.subTest(label):
                launch = images.Launch(self.tools, installed)
                launch.command = lambda words=words: self.tools.wine_command("start", words)
                run = launch.start().wait(90)
                self.assertEqual(run.call.arguments()[-3:], ["-jar", win_dir + "\\app\\app.jar", expected])

        self.uninstall(install_dir, key)
        for gone in (classes + "." + ext, classes + app_id + "." + ext, classes + scheme):
            self.assertIsNone(self.wine.registry_values(gone), gone)


class DebianDesktopTest(DesktopTestCase):
    """A Debian package with a second GUI launcher, a console launcher, a file
    type and a URL scheme, installed with apt-get: what the desktop finds,
    and a real Java 17 program started as the desktop starts it for a file."""

    @classmethod
    def setUpClass(cls):
        skip_class_unless(os.geteuid() == 0, "installing a package needs root")
        skip_class_unless(have_tools("apt-get", "dpkg", "dpkg-deb", "xdg-mime", "desktop-file-validate",
                                     "update-mime-database"),
                          "apt-get, xdg-utils, desktop-file-utils and shared-mime-info are needed"
                          " (scripts/install-deps.sh installs them)")
        runtime, reason = linux_image.find_runtime("x86_64")
        skip_class_unless(runtime is not None, reason or "no Java 17")
        cls.launchers = os.path.dirname(os.environ["VX_E2E_LINUX_LAUNCHER"])

    def environment(self):
        # xdg-mime asks the desktop's own tools only on a known desktop; the
        # generic path reads the files that the package installed.
        environment = dict(os.environ, LC_ALL="C.UTF-8", XDG_DATA_DIRS="/usr/local/share:/usr/share",
                           XDG_DATA_HOME=os.path.join(self.work, "data"),
                           XDG_CONFIG_HOME=os.path.join(self.work, "config"),
                           XDG_CACHE_HOME=os.path.join(self.work, "cache"))
        for name in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                     "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH", "LD_LIBRARY_PATH"):
            environment.pop(name, None)
        if os.environ.get("VX_E2E_SANITIZED"):
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        return environment

    def output(self, command):
        completed = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, env=self.environment(),
                                   timeout=120)
        return completed.returncode, completed.stdout.decode(), completed.stderr.decode()

    def test_install_query_open_remove(self):
        name = "VxDeb" + RUN_ID
        package = "vxdeb" + RUN_ID
        ext, scheme = "vxdeb" + RUN_ID, "vxdeb" + RUN_ID
        mime = "application/x-vxdeb-" + RUN_ID
        root, _ = self.make(name, "--launchers", self.launchers, "--installer", "deb", "--version", "1.0",
                            "--vendor", "Vantorix Tests", "--vendor-email", "tests@vantorix.example",
                            "--description", "A desktop test program", "--launcher", "Deb View=Cli", "--console-launcher", "vxdeb-cli=jar:cli.jar",
                            "--file-association", "." + ext + "=" + mime, "--url-scheme", scheme)
        deb = os.path.join(os.path.dirname(root), "%s_1.0_amd64.deb" % package)
        self.addCleanup(subprocess.run, ["apt-get", "purge", "-y", "-qq", "-o", "DPkg::Lock::Timeout=300", package],
                        stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
        installed = subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends",
                                    "-o", "DPkg::Lock::Timeout=300", deb],
                                   stdin=subprocess.DEVNULL, capture_output=True, timeout=600,
                                   env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        self.assertEqual(installed.returncode, 0, installed.stderr.decode())

        entries = {"/usr/share/applications/%s.desktop" % package: ("%f", mime),
                   "/usr/share/applications/%s-links.desktop" % package: ("%u", "x-scheme-handler/" + scheme),
                   "/usr/share/applications/%s-deb-view.desktop" % package: (None, None)}
        for path, (code, _) in entries.items():
            status, out, err = self.output(["desktop-file-validate", path])
            self.assertEqual((status, out, err), (0, "", ""), path)
            with open(path) as f:
                text = f.read()
            self.assertIn("Exec=/usr/bin/%s%s\n" % (name, " " + code if code else "")
                          if "view" not in path else 'Exec="/usr/bin/Deb View"\n', text)
        for command in (name, "Deb View", "vxdeb-cli"):
            self.assertTrue(os.path.islink("/usr/bin/" + command), command)
        self.assertFalse(os.path.exists("/usr/share/applications/%s-vxdeb-cli.desktop" % package))

        document = os.path.join(self.work, "a document." + ext)
        with open(document, "w") as out:
            out.write("plain words\n")
        self.assertEqual(self.output(["xdg-mime", "query", "filetype", document])[1].strip(), mime)
        self.assertEqual(self.output(["xdg-mime", "query", "default", mime])[1].strip(), package + ".desktop")
        self.assertEqual(self.output(["xdg-mime", "query", "default", "x-scheme-handler/" + scheme])[1].strip(),
                         package + "-links.desktop")

        # The desktop entry's Exec, expanded for the file and the link as the
        # desktop does.
        for path, (code, _) in entries.items():
            if code is None:
                continue
            with open(path) as f:
                exec_line = [line for line in f.read().splitlines() if line.startswith("Exec=")][0]
            argument = document if code == "%f" else scheme + "://x/y?z=1"
            command = [argument if word == code else word for word in shlex.split(exec_line[len("Exec="):])]
            status, out, err = self.output(command)
            self.assertEqual((status, out), (0, "app null " + argument + "\n"), err)

        removed = subprocess.run(["apt-get", "remove", "-y", "-qq", "-o", "DPkg::Lock::Timeout=300", package],
                                 stdin=subprocess.DEVNULL, capture_output=True, timeout=600,
                                 env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        self.assertEqual(removed.returncode, 0, removed.stderr.decode())
        for path in list(entries) + ["/usr/share/mime/packages/%s.xml" % package, "/usr/bin/" + name,
                                     "/usr/bin/Deb View", "/usr/bin/vxdeb-cli", "/opt/" + name]:
            self.assertFalse(os.path.lexists(path), path)
        self.assertNotEqual(self.output(["xdg-mime", "query", "filetype", document])[1].strip(), mime)
        self.assertEqual(self.output(["xdg-mime", "query", "default", mime])[1].strip(), "")


if __name__ == "__main__":
    unittest.main()
