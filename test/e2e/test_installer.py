"""End-to-end tests of the installers that the image tool makes after the
image: the Windows setup program (NSIS) and the Debian package.

    test_installer.py [-v] SetupProgramTest
        (under Wine with the stub runtime; the variables of test_launcher.py)
    test_installer.py [-v] DebianPackageTest
        (with the installed Java 17 JDK, as root; VX_E2E_LINUX_LAUNCHER)
    test_installer.py [-v] InstallerRefusalTest
        (the cases of the launchers at hand: VX_E2E_LAUNCHER or
        VX_E2E_LINUX_LAUNCHER)

Besides those: VX_E2E_IMAGE_TOOL, the tool's jar, run with the `java` on
PATH.

Every run uses names of its own, so that what it installs (files, keys,
packages) is its own, and removes it again even when a check fails.
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import image as images  # noqa: E402
import linux_image  # noqa: E402

SOURCE_DIR = os.environ.get("VX_E2E_SOURCE_DIR", os.path.dirname(os.path.dirname(here)))
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
RUN_ID = "%d%d" % (os.getpid(), int(time.time()) % 100000)


def load_icon_maker():
    import importlib.util
    spec = importlib.util.spec_from_file_location("make_icon", os.path.join(SOURCE_DIR, "scripts", "make-icon.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def write_icon(path, bitmap_limit=0):
    """The project's icon; frames up to bitmap_limit pixels as bitmaps."""
    maker = load_icon_maker()
    maker.BITMAP_LIMIT = bitmap_limit
    with open(path, "wb") as out:
        out.write(maker.icon_file())
    return path


TOOL = os.environ.get("VX_E2E_IMAGE_TOOL", "")
JAVA = shutil.which("java")
MAIN = "public class Main { public static void main(String[] args) { System.out.println(\"hello \" + " \
       "String.join(\",\", args)); } }\n"


def run_tool(args, env=None):
    """(exit code, stdout, stderr) of one run of the image tool."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run([JAVA, "-jar", TOOL] + list(args), stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              env=env, timeout=600).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


def make_input(directory, files=None):
    """An input directory with main.jar (class Main) and the files given."""
    classes = os.path.join(directory + ".classes")
    os.makedirs(classes)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(classes, "Main.java"), "w") as source:
        source.write(MAIN)
    subprocess.run(["javac", "-d", classes, os.path.join(classes, "Main.java")], check=True)
    subprocess.run(["jar", "--create", "--file", os.path.join(directory, "main.jar"), "--main-class", "Main",
                    "-C", classes, "Main.class"], check=True)
    for relative, content in (files or {}).items():
        path = os.path.join(directory, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)
    return directory


def tree_files(root):
    return sorted(os.path.relpath(os.path.join(directory, name), root)
                  for directory, _, names in os.walk(root) for name in names)


def tree_contents(root):
    contents = {}
    for relative in tree_files(root):
        with open(os.path.join(root, relative), "rb") as file:
            contents[relative] = file.read()
    return contents


def skip_class_unless(condition, reason):
    """Skips the whole class, and says so as the other end-to-end tests do
    (CTest reports a run that printed "SKIPPED: " as skipped)."""
    if not condition:
        print("SKIPPED: " + reason, flush=True)
        raise unittest.SkipTest(reason)


def have_tools(*names):
    return all(shutil.which(name) for name in names)


def link_target(path):
    """The local path a shell link (.lnk) points at, from its LinkInfo."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    offset = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    if not flags & 0x2:  # HasLinkInfo
        raise AssertionError("%s holds no LinkInfo" % path)
    header_size = struct.unpack_from("<I", data, offset + 4)[0]
    if header_size >= 0x24:
        start = offset + struct.unpack_from("<I", data, offset + 0x1C)[0]
        end = start
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[start:end].decode("utf-16-le")
    start = offset + struct.unpack_from("<I", data, offset + 0x10)[0]
    return data[start:data.index(b"\0", start)].decode("cp1252")


class Wine:
    """Windows programs of the project's prefix, and its registry and paths."""

    def __init__(self, tools):
        self.tools = tools
        self.environment = dict(os.environ, LC_ALL="C.UTF-8", WINEDEBUG="-all",
                                # No menu entries on the host for the shortcuts setup makes.
                                WINEDLLOVERRIDES="winemenubuilder.exe=d")

    def run(self, program, args=(), timeout=120):
        """The exit code; output goes to files (a Wine helper that inherits a
        pipe would keep it open)."""
        with tempfile.TemporaryFile() as out:
            completed = subprocess.run(self.tools.wine_command(program, args), stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=out, env=self.environment, timeout=timeout)
            out.seek(0)
            self.last_output = out.read().decode("utf-8", "replace")
        return completed.returncode

    def output(self, program, args=()):
        with tempfile.TemporaryFile() as out:
            subprocess.run(self.tools.wine_command(program, args), stdin=subprocess.DEVNULL, stdout=out,
                           stderr=subprocess.DEVNULL, env=self.environment, timeout=60)
            out.seek(0)
            return out.read().decode("utf-8", "replace")

    def variable(self, name):
        return self.output("cmd", ["/c", "echo %" + name + "%"]).strip()

    def host_path(self, windows_path):
        return self.output("winepath", ["-u", windows_path]).strip()

    def registry_values(self, key):
        """{name: data} of a key, or None when there is no such key. Value
        names may hold blanks ("Content Type", "URL Protocol")."""
        text = self.output("reg", ["query", key])
        if key.split("\\", 1)[1].lower() not in text.lower():
            return None
        values = {}
        for line in text.splitlines():
            match = re.match(r"^\s+(.*?)\s+(REG_\w+)(?:\s+(.*))?$", line)
            if match:
                values[match.group(1)] = match.group(3) or ""
        return values


def setUpModule():
    if not TOOL or not os.path.isfile(TOOL) or not JAVA:
        raise RuntimeError("the image tool's jar (VX_E2E_IMAGE_TOOL=%r) or java is missing" % TOOL)


class SetupProgramTest(unittest.TestCase):
    """Setup programs of the stub runtime's images under Wine: install,
    launch, upgrade in place, uninstall."""

    @classmethod
    def setUpClass(cls):
        skip_class_unless(have_tools("makensis", "javac", "jar"), "makensis and the JDK are needed")
        cls.tools = images.Tools.from_environment()
        cls.wine = Wine(cls.tools)
        cls.class_work = tempfile.mkdtemp(prefix="vx-installer-")
        cls.icon = write_icon(os.path.join(cls.class_work, "app.ico"))
        cls.local = cls.wine.variable("LOCALAPPDATA")
        cls.roaming = cls.wine.variable("APPDATA")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.class_work, True)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-installer-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def make_setup(self, name, version, files, *options, vendor="Vantorix Tests", directory=None, env=None):
        """The image and setup program of an input with main.jar and files."""
        directory = directory or os.path.join(self.work, vendor.replace(" ", "-") + "-" + version)
        output = os.path.join(directory, name)
        code, out, err = run_tool([
            "--name", name, "--input", make_input(os.path.join(directory, "input"), files), "--main-jar",
            "main.jar", "--runtime", self.tools.stub_runtime, "--launchers", os.path.dirname(self.tools.launcher),
            "--wine", "%s --arch=%s" % (self.tools.wine_run, self.tools.arch), "--output", output,
            "--version", version, "--vendor", vendor, "--icon", self.icon, "--installer", "exe",
            *options], env=env)
        self.assertEqual((code, err), (0, ""), out)
        if "--installer-dir" in options:
            directory = options[options.index("--installer-dir") + 1]
        setup = os.path.join(directory, "%s-%s-setup.exe" % (name, version))
        self.assertEqual(out.splitlines()[-1], "vantorix-image: wrote " + setup)
        return images.AppImage(output, name), setup

    def start_menu(self, name):
        return self.roaming + "\\Microsoft\\Windows\\Start Menu\\Programs\\" + name + ".lnk"

    def write_host(self, windows_path, content):
        host = self.wine.host_path(windows_path)
        os.makedirs(os.path.dirname(host), exist_ok=True)
        with open(host, "wb") as out:
            out.write(content)
        return host

    def uninstall(self, install_dir, key=None):
        """Runs the uninstaller in install_dir silently; waits for the key to go."""
        code = self.wine.run(os.path.join(install_dir, "uninstall.exe"), ["/S"])
        if code == 0 and key:
            # The uninstaller copies itself away and runs the copy, which ends later.
            deadline = time.time() + 90
            while self.wine.registry_values(key) is not None and time.time() < deadline:
                time.sleep(0.5)
        return code

    def remove_afterwards(self, key, *windows_paths):
        """Whatever a failed check leaves behind goes at the end."""
        def remove():
            self.wine.output("reg", ["delete", key, "/f"])
            for path in windows_paths:
                host = self.wine.host_path(path)
                if os.path.isdir(host):
                    shutil.rmtree(host, True)
                elif os.path.exists(host):
                    os.remove(host)
        self.addCleanup(remove)

    def wait_for_uninstall(self, install_dir, key):
        # The uninstaller copies itself away and runs the copy, which ends later.
        deadline = time.time() + 90
        while time.time() < deadline:
            if not os.path.exists(install_dir) and self.wine.registry_values(key) is None:
                return
            time.sleep(0.5)
        self.fail("the uninstaller left %s or the key %s" % (install_dir, key))

    def test_install_launch_upgrade_uninstall(self):
        name = "VxSetup" + RUN_ID
        key = "HKCU\\" + UNINSTALL_KEY + "Vantorix-Tests." + name
        # The folder is the id's.
        win_dir = self.local + "\\Programs\\Vantorix-Tests." + name
        options_file = self.roaming + "\\" + name + "\\" + name + ".jvmopts"
        cache_dir = self.local + "\\" + name + "\\ClassData"
        app_data = self.local + "\\" + name + "\\settings.txt"
        start_menu = self.start_menu(name)
        desktop = self.wine.variable("USERPROFILE") + "\\Desktop\\" + name + ".lnk"
        self.remove_afterwards(key, win_dir, self.roaming + "\\" + name, self.local + "\\" + name, start_menu,
                               desktop)

        first, setup = self.make_setup(name, "1.0", {"dropped.txt": b"old", "docs/read me.txt": b"text"},
                                       "--desktop-shortcut")
        self.assertEqual(self.wine.run(setup, ["/S"]), 0, self.wine.last_output)

        install_dir = self.wine.host_path(win_dir)
        # The other tests' applications come and go in the same folder
        # meanwhile (CTest runs them in parallel); an upgrade's leftovers
        # would have names of their own.
        def programs():
            return sorted(entry for entry in os.listdir(os.path.dirname(install_dir))
                          if not entry.startswith("Vantorix-Tests.") or entry == os.path.basename(install_dir))
        self.programs_before = [entry for entry in programs() if entry != os.path.basename(install_dir)]
        self.assertEqual(tree_files(install_dir), sorted(tree_files(first.root) + ["installed-files.txt",
                                                                                  "uninstall.exe"]))
        for relative in tree_files(first.root):
            with open(os.path.join(first.root, relative), "rb") as source, \
                    open(os.path.join(install_dir, relative), "rb") as installed:
                self.assertEqual(installed.read(), source.read(), relative)
        self.assertEqual(link_target(self.wine.host_path(start_menu)).lower(),
                         (win_dir + "\\" + name + ".exe").lower())
        self.assertTrue(os.path.isfile(self.wine.host_path(desktop)))
        values = self.wine.registry_values(key)
        self.assertEqual(
            {field: values.get(field) for field in ("DisplayName", "DisplayVersion", "Publisher", "DisplayIcon",
                                                    "UninstallString", "QuietUninstallString")},
            {"DisplayName": name, "DisplayVersion": "1.0", "Publisher": "Vantorix Tests",
             "DisplayIcon": win_dir + "\\" + name + ".exe",
             "UninstallString": '"%s\\uninstall.exe"' % win_dir,
             "QuietUninstallString": '"%s\\uninstall.exe" /S' % win_dir})
        self.assertGreater(int(values["EstimatedSize"], 16), 0)

        installed = images.AppImage(install_dir, name)
        run = images.run(self.tools, installed)
        self.assertEqual(run.exit_code, 0, run.stderr_text)
        self.assertTrue(run.call.arguments()[-1].endswith("\\app\\main.jar"), run.call.arguments())

        # The user's own files, which an upgrade keeps, and the launcher's
        # cache, which uninstall removes.
        slot = "0123456789abcdef"
        for path, content in ((options_file, b"-Xmx1g\n"), (cache_dir + "\\" + slot + ".jsa", b"cache"),
                              (cache_dir + "\\" + slot + ".jsa.stamp", b"key"),
                              (cache_dir + "\\" + slot + ".1.tmp", b""), (app_data, b"mine"),
                              (win_dir + "\\app\\notes.txt", b"mine"), (win_dir + "\\mine\\a.txt", b"mine")):
            self.write_host(path, content)

        second, setup = self.make_setup(name, "1.1", {"docs/read me.txt": b"text", "new.txt": b"new"})
        self.assertEqual(self.wine.run(setup, ["/S"]), 0, self.wine.last_output)
        self.assertEqual(self.wine.registry_values(key)["DisplayVersion"], "1.1")
        self.assertFalse(os.path.exists(os.path.join(install_dir, "app", "dropped.txt")))
        with open(os.path.join(install_dir, "app", "new.txt"), "rb") as new:
            self.assertEqual(new.read(), b"new")
        self.assertFalse(os.path.exists(self.wine.host_path(desktop)))
        self.assertTrue(os.path.isfile(self.wine.host_path(options_file)))
        self.assertTrue(os.path.isfile(self.wine.host_path(cache_dir + "\\" + slot + ".jsa")))
        # The new version came in beside the old one; the user's files in
        # the install directory moved with it, and nothing is left beside it.
        for relative in ("app\\notes.txt", "mine\\a.txt"):
            with open(self.wine.host_path(win_dir + "\\" + relative), "rb") as mine:
                self.assertEqual(mine.read(), b"mine")
        self.assertEqual(programs(), sorted(self.programs_before + [os.path.basename(install_dir)]))
        self.assertEqual(images.run(self.tools, installed).exit_code, 0)

        # The user's files in the install directory are not the uninstaller's.
        self.assertEqual(self.uninstall(install_dir, key), 0)
        self.assertIsNone(self.wine.registry_values(key))
        left = sorted(os.path.relpath(os.path.join(root, name), install_dir)
                      for root, dirs, files in os.walk(install_dir) for name in dirs + files)
        self.assertEqual(left, ["app", os.path.join("app", "notes.txt"), "mine", os.path.join("mine", "a.txt")])
        self.assertFalse(os.path.exists(self.wine.host_path(start_menu)))
        self.assertFalse(os.path.exists(self.wine.host_path(cache_dir)))
        self.assertTrue(os.path.isfile(self.wine.host_path(app_data)))
        self.assertTrue(os.path.isfile(self.wine.host_path(options_file)))

    def test_uninstall_keeps_what_is_not_its_own(self):
        # An application named "Programs": its data folder is the one where
        # other applications are installed per user. Links inside the install
        # folder and inside the cache folder lead to files that are not setup's.
        name = "Programs"
        app_id = "vx.programs." + RUN_ID
        key = "HKCU\\" + UNINSTALL_KEY + app_id
        win_dir = self.local + "\\Programs\\" + app_id
        other = self.local + "\\Programs\\VxOtherApp" + RUN_ID + "\\important.txt"
        cache_dir = self.local + "\\Programs\\ClassData"
        start_menu = self.start_menu(name)
        self.remove_afterwards(key, win_dir, os.path.dirname(other), cache_dir, start_menu)
        _, setup = self.make_setup(name, "1.0", {"lib/a.jar": b"a"}, "--app-id", app_id)
        self.assertEqual(self.wine.run(setup, ["/S"]), 0, self.wine.last_output)
        install_dir = self.wine.host_path(self.wine.registry_values(key)["InstallLocation"])
        other_host = self.write_host(other, b"keep")
        cache_host = self.write_host(cache_dir + "\\0123456789abcdef.jsa", b"cache")
        outside = os.path.join(self.work, "outside")
        os.makedirs(os.path.join(outside, "lib"))
        kept = [os.path.join(outside, "lib", "a.jar"), os.path.join(outside, "x.jsa")]
        for path in kept:
            with open(path, "wb") as out:
                out.write(b"keep")
        # app\lib as a link to a folder that holds a file of the listed name.
        shutil.rmtree(os.path.join(install_dir, "app", "lib"))
        os.symlink(os.path.join(outside, "lib"), os.path.join(install_dir, "app", "lib"))
        # (Wine shows a link to a folder as a junction, and one to a file as
        # the file itself; Windows marks both.)
        os.symlink(outside, os.path.join(os.path.dirname(cache_host), "linked"))

        self.assertEqual(self.uninstall(install_dir, key), 0, self.wine.last_output)
        self.assertIsNone(self.wine.registry_values(key))
        with open(other_host, "rb") as kept_file:
            self.assertEqual(kept_file.read(), b"keep")
        for path in kept:
            self.assertTrue(os.path.isfile(path), path)
        self.assertFalse(os.path.exists(cache_host))
        self.assertFalse(os.path.exists(self.wine.host_path(start_menu)))

    def test_two_vendors_one_name(self):
        name = "VxOrbit" + RUN_ID
        vendors = {"Vendor A": "Vendor-A." + name, "Vendor B": "Vendor-B." + name}
        keys = {vendor: "HKCU\\" + UNINSTALL_KEY + app_id for vendor, app_id in vendors.items()}
        dirs = {vendor: self.local + "\\Programs\\" + app_id for vendor, app_id in vendors.items()}
        shortcuts = {"Vendor A": self.start_menu(name), "Vendor B": self.start_menu(name + " (Vendor B)")}
        for vendor in vendors:
            self.remove_afterwards(keys[vendor], dirs[vendor], shortcuts[vendor])
        for vendor in vendors:
            _, setup = self.make_setup(name, "1.0", {vendor + ".txt": vendor.encode()}, vendor=vendor)
            self.assertEqual(self.wine.run(setup, ["/S"]), 0, self.wine.last_output)
        host = {vendor: self.wine.host_path(path) for vendor, path in dirs.items()}
        for vendor in vendors:
            self.assertTrue(os.path.isfile(os.path.join(host[vendor], "app", vendor + ".txt")), vendor)
            self.assertEqual(self.wine.registry_values(keys[vendor])["InstallLocation"], dirs[vendor])
            self.assertEqual(link_target(self.wine.host_path(shortcuts[vendor])).lower(),
                             (dirs[vendor] + "\\" + name + ".exe").lower())
            self.assertEqual(images.run(self.tools, images.AppImage(host[vendor], name)).exit_code, 0)

        # A setup of another id refuses the folder that A's setup wrote, and
        # A's uninstaller refuses the folder that B's setup wrote.
        _, intruder = self.make_setup(name, "1.0", {}, vendor="Vendor C")
        self.assertNotEqual(self.wine.run(intruder, ["/S", "/D=" + dirs["Vendor A"]]), 0)
        self.assertEqual(sorted(os.listdir(os.path.join(host["Vendor A"], "app"))), ["Vendor A.txt", name + ".cfg", "main.jar"])
        stray = os.path.join(host["Vendor B"], "stray-uninstall.exe")
        shutil.copy(os.path.join(host["Vendor A"], "uninstall.exe"), stray)
        self.assertNotEqual(self.wine.run(stray, ["/S", "_?=" + dirs["Vendor B"]]), 0)
        os.remove(stray)
        self.assertIsNotNone(self.wine.registry_values(keys["Vendor B"]))

        self.assertEqual(self.uninstall(host["Vendor A"], keys["Vendor A"]), 0)
        self.assertFalse(os.path.exists(host["Vendor A"]))
        self.assertIsNone(self.wine.registry_values(keys["Vendor A"]))
        self.assertFalse(os.path.exists(self.wine.host_path(shortcuts["Vendor A"])))
        self.assertTrue(os.path.isfile(self.wine.host_path(shortcuts["Vendor B"])))
        self.assertEqual(self.wine.registry_values(keys["Vendor B"])["InstallLocation"], dirs["Vendor B"])
        self.assertEqual(images.run(self.tools, images.AppImage(host["Vendor B"], name)).exit_code, 0)
        self.assertEqual(self.uninstall(host["Vendor B"], keys["Vendor B"]), 0)
        self.assertFalse(os.path.exists(host["Vendor B"]))

    def test_failed_upgrade_keeps_the_old_version(self):
        # The new version holds a file that cannot be written: larger than
        # the file size limit that setup runs with.
        import resource
        import signal
        name = "VxUpgrade" + RUN_ID
        key = "HKCU\\" + UNINSTALL_KEY + "Vantorix-Tests." + name
        self.remove_afterwards(key, self.local + "\\Programs\\Vantorix-Tests." + name,
                               self.local + "\\Programs\\" + name, self.start_menu(name))
        first, setup = self.make_setup(name, "1.0", {"a.txt": b"old"})
        self.assertEqual(self.wine.run(setup, ["/S"]), 0, self.wine.last_output)
        install_dir = self.wine.host_path(self.wine.registry_values(key)["InstallLocation"])
        before = tree_contents(install_dir)
        largest = max(len(content) for content in before.values())
        limit = largest + (1 << 20)
        _, setup = self.make_setup(name, "1.1", {"a.txt": b"new", "z/big.bin": os.urandom(limit + (1 << 20))})

        def limited():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        with tempfile.TemporaryFile() as out:
            code = subprocess.run(self.tools.wine_command(setup, ["/S"]), stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=out, env=self.wine.environment, timeout=120, preexec_fn=limited).returncode
        self.assertNotEqual(code, 0)
        after = tree_contents(install_dir)
        self.assertEqual(sorted(after), sorted(before))
        self.assertTrue(after == before, "the old version's files changed")
        self.assertEqual(self.wine.registry_values(key)["DisplayVersion"], "1.0")
        # Nothing of the new version is left beside the old one.
        self.assertEqual([entry for entry in os.listdir(os.path.dirname(install_dir))
                          if re.match(r"(?i)ns.*\.tmp$", entry)], [])
        self.assertEqual(images.run(self.tools, images.AppImage(install_dir, name)).exit_code, 0)
        self.assertEqual(self.uninstall(install_dir, key), 0)

    def test_sign_command_signs_the_final_file_and_runs_nothing_else(self):
        name = "VxSign" + RUN_ID
        home = os.path.join(self.work, "home")
        os.makedirs(home)
        log = os.path.join(self.work, "signed.txt")
        directory = os.path.join(self.work, "d`cd && touch PWNED`$(cd && touch PWNED2)")
        _, setup = self.make_setup(name, "1.0", {}, "--installer-dir", directory, "--sign-command",
                                   "basename {} >> '%s' && sha256sum < {} >> '%s'" % (log, log),
                                   env=dict(os.environ, HOME=home))
        self.assertEqual(os.listdir(home), [])
        with open(log) as lines:
            signed = lines.read().split("\n")
        # The launcher, the uninstaller, then the setup program under its name.
        self.assertEqual((signed[0], signed[4]), (name + ".exe", os.path.basename(setup)), signed)
        with open(setup, "rb") as final:
            self.assertEqual(signed[5].split()[0], hashlib.sha256(final.read()).hexdigest())
        self.assertEqual([entry for entry in os.listdir(directory)], [os.path.basename(setup)])

        # A sign command that fails is the tool's failure.
        code, out, err = run_tool([
            "--name", name, "--input", make_input(os.path.join(self.work, "input-fail")), "--main-jar", "main.jar",
            "--runtime", self.tools.stub_runtime, "--launchers", os.path.dirname(self.tools.launcher),
            "--wine", "%s --arch=%s" % (self.tools.wine_run, self.tools.arch),
            "--output", os.path.join(self.work, "fail", name), "--version", "1.0", "--installer", "exe",
            "--sign-command", "case {} in *setup.exe) exit 3;; esac"])
        self.assertEqual(code, 1, out + err)
        self.assertNotIn("setup.exe", out)
        self.assertIn("makensis failed", err)
        # Neither the image nor the setup program is written.
        self.assertEqual(os.listdir(os.path.join(self.work, "fail")), [])

    def test_machine_scope_and_chosen_directory(self):
        name = "VxMachine" + RUN_ID
        key = "HKLM\\" + UNINSTALL_KEY + "vx.machine." + RUN_ID
        chosen = "C:\\vx-chosen-" + RUN_ID + "\\" + name
        start_menu = self.wine.variable("ProgramData") + "\\Microsoft\\Windows\\Start Menu\\Programs\\" + name + ".lnk"
        self.remove_afterwards(key, "C:\\vx-chosen-" + RUN_ID, start_menu)
        signed = os.path.join(self.work, "signed.txt")
        _, setup = self.make_setup(name, "2.0.1", {}, "--install-scope", "machine", "--app-id", "vx.machine." + RUN_ID,
                                   "--sign-command", "echo {} >> '%s'" % signed)
        # The sign command ran on the launcher, the uninstaller and the setup program.
        with open(signed) as log:
            files = [os.path.basename(line.strip()) for line in log]
        self.assertEqual(len(files), 3, files)
        self.assertEqual((files[0], files[2]), (name + ".exe", "%s-2.0.1-setup.exe" % name))

        # A file where setup needs a directory: setup fails with a non-zero exit code.
        install_dir = self.wine.host_path(chosen)
        os.makedirs(install_dir)
        blocker = os.path.join(install_dir, "app")
        with open(blocker, "wb"):
            pass
        self.assertNotEqual(self.wine.run(setup, ["/S", "/D=" + chosen]), 0)
        self.assertIsNone(self.wine.registry_values(key))
        os.remove(blocker)

        self.assertEqual(self.wine.run(setup, ["/S", "/D=" + chosen]), 0, self.wine.last_output)
        values = self.wine.registry_values(key)
        self.assertEqual((values["InstallLocation"], values["DisplayVersion"]), (chosen, "2.0.1"))
        self.assertTrue(os.path.isfile(os.path.join(install_dir, name + ".exe")))
        self.assertEqual(link_target(self.wine.host_path(start_menu)).lower(),
                         (chosen + "\\" + name + ".exe").lower())
        # A list of installed files that leads out of the install directory
        # costs nothing outside it.
        outside = os.path.join(os.path.dirname(install_dir), "keep.txt")
        with open(outside, "wb"):
            pass
        with open(os.path.join(install_dir, "installed-files.txt"), "ab") as manifest:
            manifest.write("..\\keep.txt\r\n".encode("utf-16-le"))
        self.assertEqual(self.wine.run(os.path.join(install_dir, "uninstall.exe"), ["/S"]), 0)
        self.wait_for_uninstall(install_dir, key)
        self.assertTrue(os.path.isfile(outside))
        self.assertFalse(os.path.exists(self.wine.host_path(start_menu)))


def linux_launchers():
    launcher = os.environ.get("VX_E2E_LINUX_LAUNCHER")
    return os.path.dirname(launcher) if launcher else None


def deb_fields(deb):
    info = subprocess.run(["dpkg-deb", "--field", deb], capture_output=True, text=True, check=True).stdout
    return dict(line.split(": ", 1) for line in info.splitlines() if ": " in line and not line.startswith(" "))


def desktop_entry(path):
    """The keys of a desktop entry's [Desktop Entry] group, string escapes undone."""
    fields = {}
    with open(path, encoding="utf-8") as entry:
        for line in entry.read().splitlines():
            if "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                fields[key] = re.sub(r"\\(.)", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(
                    m.group(1), m.group(1)), value)
    return fields


def exec_arguments(value):
    """Exec's arguments: quoted ones with their escapes undone, %% as %."""
    arguments, word, quoted, at = [], None, False, 0
    while at < len(value):
        c = value[at]
        if quoted and c == "\\":
            at += 1
            word += value[at]
        elif c == '"':
            quoted = not quoted
            word = word or ""
        elif c == " " and not quoted:
            if word is not None:
                arguments.append(word)
            word = None
        else:
            word = (word or "") + c
        at += 1
    if word is not None:
        arguments.append(word)
    return [argument.replace("%%", "%") for argument in arguments]


class DebianPackageTest(unittest.TestCase):
    """Debian packages of jar images with a runtime that the tool links from
    Java 17: the fields, lintian, dpkg -i, the command, dpkg -r."""

    @classmethod
    def setUpClass(cls):
        skip_class_unless(have_tools("dpkg", "dpkg-deb", "javac", "jar"), "dpkg and the JDK are needed")
        skip_class_unless(os.geteuid() == 0, "installing a package needs root")
        runtime, why = linux_image.find_runtime("x86_64")
        skip_class_unless(runtime is not None, why)
        skip_class_unless(linux_launchers(), "VX_E2E_LINUX_LAUNCHER is not set")

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-deb-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def make_deb(self, name, *options, directory=None, package=None):
        output = os.path.join(self.work, name)
        code, out, err = run_tool(["--name", name, "--input", make_input(os.path.join(self.work, "input-" + name)),
                                   "--main-jar", "main.jar", "--launchers", linux_launchers(), "--output", output,
                                   "--version", "3.1.4", "--vendor", "Vantorix Tests", "--vendor-email",
                                   "tests@vantorix.example", "--installer", "deb", *options])
        self.assertEqual((code, err), (0, ""), out)
        deb = os.path.join(directory or self.work, "%s_3.1.4_amd64.deb" % (package or name.lower()))
        self.assertEqual(out.splitlines()[-1], "vantorix-image: wrote " + deb)
        return deb

    def test_install_run_remove(self):
        # A blank in the name: the desktop entry's command is quoted.
        name = "VxDeb " + RUN_ID
        package = "vxdeb-" + RUN_ID
        deb = self.make_deb(name, "--description", "Greets whoever starts it", "--copyright", "2024 Vantorix Tests",
                            "--icon", write_icon(os.path.join(self.work, "app.ico"), bitmap_limit=32),
                            package=package)
        fields = deb_fields(deb)
        self.assertEqual({field: fields.get(field) for field in ("Package", "Version", "Architecture", "Maintainer",
                                                                "Description", "Depends")},
                         {"Package": package, "Version": "3.1.4", "Architecture": "amd64",
                          "Maintainer": "Vantorix Tests <tests@vantorix.example>",
                          "Description": "Greets whoever starts it", "Depends": "libc6, zlib1g"})
        if shutil.which("lintian"):
            # What is left needs what no option gives: a manual page.
            lintian = subprocess.run(["lintian", deb], capture_output=True, text=True)
            self.assertEqual([line for line in lintian.stdout.splitlines() if line[:2] in ("E:", "W:")],
                             ["W: %s: no-manual-page [usr/bin/%s]" % (package, name)], lintian.stdout)

        installed = ["/opt/" + name + "/" + name, "/opt/" + name + "/app/main.jar", "/usr/bin/" + name,
                     "/usr/share/applications/%s.desktop" % package,
                     "/usr/share/icons/hicolor/16x16/apps/%s.png" % package,
                     "/usr/share/icons/hicolor/256x256/apps/%s.png" % package]
        self.addCleanup(subprocess.run, ["dpkg", "--purge", package], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
        subprocess.run(["dpkg", "-i", deb], check=True, stdout=subprocess.DEVNULL)
        for path in installed:
            self.assertTrue(os.path.lexists(path), path)
        # The 16-pixel frame was a bitmap in the icon file.
        with open("/usr/share/icons/hicolor/16x16/apps/%s.png" % package, "rb") as png:
            self.assertEqual(png.read(8), b"\x89PNG\r\n\x1a\n")
        environment = dict(os.environ)
        if os.environ.get("VX_E2E_SANITIZED"):
            # LeakSanitizer cannot work beside a real JVM.
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        run = subprocess.run(["/usr/bin/" + name, "a b", "c"], capture_output=True, text=True, env=environment,
                             timeout=120)
        self.assertEqual((run.returncode, run.stdout), (0, "hello a b,c\n"), run.stderr)
        entry = "/usr/share/applications/%s.desktop" % package
        if shutil.which("desktop-file-validate"):
            validate = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
            self.assertEqual((validate.returncode, validate.stdout), (0, ""), validate.stderr)
        # The entry's command, unquoted and unescaped as the desktop reads it, starts the application.
        fields = desktop_entry(entry)
        self.assertEqual(fields["StartupWMClass"], "Main")
        run = subprocess.run(exec_arguments(fields["Exec"]), capture_output=True, text=True, env=environment,
                             timeout=120)
        self.assertEqual((run.returncode, run.stdout), (0, "hello \n"), run.stderr)
        with open("/usr/share/doc/%s/copyright" % package) as copyright_file:
            self.assertIn("\nCopyright: 2024 Vantorix Tests\n", copyright_file.read())

        # Removal warns about nothing and leaves /opt, which is not the package's.
        removal = subprocess.run(["dpkg", "-r", package], capture_output=True, text=True)
        self.assertEqual((removal.returncode, removal.stderr), (0, ""))
        self.assertEqual([path for path in installed if os.path.lexists(path)], [])
        self.assertFalse(os.path.exists("/opt/" + name))
        self.assertTrue(os.path.isdir("/opt"))

    def test_desktop_runtime_depends_on_the_display_libraries(self):
        # A copied runtime whose release file lists java.desktop: the modules
        # are read from there (linking AWT would only take time here).
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(os.path.join(runtime, "lib"))
        shutil.copy(os.path.join(linux_image.find_runtime("x86_64")[0], "lib", "libjli.so"),
                    os.path.join(runtime, "lib"))
        with open(os.path.join(runtime, "release"), "w") as release:
            release.write('JAVA_VERSION="17"\nMODULES="java.base java.datatransfer java.xml java.prefs java.desktop"\n')
        packages = os.path.join(self.work, "packages")
        fields = deb_fields(self.make_deb("VxAwt" + RUN_ID, "--runtime", runtime, "--installer-dir", packages,
                                          directory=packages))
        self.assertEqual(fields["Depends"].split(", "),
                         ["libasound2", "libc6", "libfreetype6", "libx11-6", "libxext6", "libxi6", "libxrender1",
                          "libxtst6", "zlib1g"])


class InstallerRefusalTest(unittest.TestCase):
    """Each refusal: exit code 1, one line, and neither image nor installer
    written."""

    @classmethod
    def setUpClass(cls):
        skip_class_unless(have_tools("javac", "jar"), "the JDK is needed")

    def test_refusals(self):
        work = tempfile.mkdtemp(prefix="vx-refusal-")
        self.addCleanup(shutil.rmtree, work, True)
        source = make_input(os.path.join(work, "input"))
        windows = os.environ.get("VX_E2E_LAUNCHER")
        kits = {"exe": ["--target", "windows-x64", "--launchers", os.path.dirname(windows),
                        "--runtime", os.environ["VX_E2E_STUB_RUNTIME"]] if windows else None,
                "deb": ["--target", "linux-x64", "--launchers", linux_launchers(), "--vendor-email",
                        "dev@orbit.example"] if linux_launchers() else None}
        empty_path = dict(os.environ, PATH=os.path.join(work, "empty"))
        # (label, kind of image, options added, options of the base left out,
        # environment, message)
        # The refusals that need no environment of their own are in the
        # unit tests (tools/image/src/test/java).
        cases = [
            ("makensis not on the PATH", "exe", [], [], empty_path, "makensis is not on the PATH"),
            ("dpkg-deb not on the PATH", "deb", [], [], empty_path, "dpkg-deb is not on the PATH"),
        ]
        ran = 0
        for label, kind, added, left_out, env, message in cases:
            if kits[kind] is None:
                continue
            with self.subTest(label):
                base = ["--installer", kind, "--version", "1.0", "--name", "Orbit", "--input", source,
                        "--main-jar", "main.jar", "--vendor", "Orbit Works",
                        "--output", os.path.join(work, "out", "Orbit")] + kits[kind]
                options = []
                for at in range(0, len(base), 2):
                    if base[at] not in left_out:
                        options += base[at:at + 2]
                code, out, err = run_tool(options + added, env=env)
                self.assertEqual(code, 1, out + err)
                self.assertEqual(err.count("\n"), 1, err)
                self.assertTrue(err.startswith("vantorix-image: " + message), err)
                self.assertFalse(os.path.exists(os.path.join(work, "out")))
                ran += 1
        if ran == 0:
            print("SKIPPED: no launchers to make images with", flush=True)
            self.skipTest("no launchers to make images with")


if __name__ == "__main__":
    unittest.main()
