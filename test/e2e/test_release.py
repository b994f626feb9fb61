"""End-to-end tests of what a release ships: the archive of the build tree
and the branding tool, both run under Wine.

    test_release.py [-v] ArchiveTest|BrandingTest
    test_release.py [-v] LinuxArchiveTest   (no Wine: the archive of a Linux build)

Besides the variables of test_launcher.py: VX_E2E_BUILD_DIR (the build
tree), VX_E2E_CMAKE, VX_E2E_SOURCE_DIR, VX_E2E_BRAND (the branding tool),
VX_E2E_NATIVE_BRAND (the same tool built for the build host, if any),
VX_E2E_RESOURCE_READER (reads resources through the system's functions)
and VX_E2E_NOT_LAUNCHER (an executable of ours that is no launcher).

The archive is made from the built tree by cmake/Package.cmake, the step
that scripts/dist.sh runs after building each platform; calling dist.sh
itself from a test would build the presets again from inside one of them.
"""

import hashlib
import importlib.util
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import image as images  # noqa: E402
from test_launcher import APP_PATH_PROPERTY, ImageTestCase  # noqa: E402
from test_branding import ICON_SIZES, STRINGS, brand_options, check_version_resource_in_three_runs, \
    make_icon, refusal_cases  # noqa: E402

SOURCE_DIR = os.environ.get("VX_E2E_SOURCE_DIR", os.path.dirname(os.path.dirname(here)))
CHECK_RESOURCES = os.path.join(SOURCE_DIR, "test", "resources", "check_resources.py")
CONFIG = "[Application]\napp.mainclass=Main\n[ArgOptions]\narguments=one\n"


def load_icon_maker():
    spec = importlib.util.spec_from_file_location("make_icon", os.path.join(SOURCE_DIR, "scripts",
                                                                          "make-icon.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def read(path):
    with open(path, "rb") as f:
        return f.read()


def section_names(path):
    """The section names of a PE image (stripped images have no .debug_*)."""
    import struct
    data = read(path)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    table = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
    return [data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode("ascii", "replace")
            for i in range(count)]


class ArchiveTest(ImageTestCase):
    """The archive of the build tree: its sums, and its launcher at work."""

    def test_archive(self):
        out = os.path.join(self.work, "dist")
        packed = subprocess.run(
            [os.environ["VX_E2E_CMAKE"], "-DBUILD_DIR=" + os.environ["VX_E2E_BUILD_DIR"],
             "-DOUT_DIR=" + out, "-P", os.path.join(SOURCE_DIR, "cmake", "Package.cmake")],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        self.assertEqual(packed.returncode, 0, packed.stdout.decode(errors="replace"))
        archives = [name for name in os.listdir(out) if name.endswith((".zip", ".tar.gz"))]
        self.assertEqual(len(archives), 1, os.listdir(out))
        archive = archives[0]
        platform = {"x86_64": "windows-x64", "i686": "windows-x86"}[self.tools.arch]
        self.assertRegex(archive, r"^vantorix-launcher-\d+\.\d+\.\d+-%s\.zip$" % platform)

        unpacked = os.path.join(self.work, "unpacked")
        with zipfile.ZipFile(os.path.join(out, archive)) as z:
            z.extractall(unpacked)
        top = os.path.join(unpacked, archive[:-len(".zip")])
        files = sorted(os.path.relpath(os.path.join(d, f), top)
                       for d, _, names in os.walk(top) for f in names)
        for shipped in ("VantorixLauncher.exe", "vantorix-brand.exe", "SHA256SUMS", "vantorix-image.jar",
                        "vantorix-image", "vantorix-image.cmd", "vantorix-instances.jar",
                        os.path.join("docs", "config-format.md"), os.path.join("docs", "packaging.md"),
                        os.path.join("docs", "single-instance.md")):
            self.assertIn(shipped, files)

        # Every other file is listed once with its hash, in sha256sum's form.
        listed = {}
        for line in read(os.path.join(top, "SHA256SUMS")).decode("utf-8").splitlines():
            digest, name = line.split("  ", 1)
            listed[name] = digest
        self.assertEqual(sorted(listed), sorted(f for f in files if f != "SHA256SUMS"))
        for name, digest in listed.items():
            self.assertEqual(hashlib.sha256(read(os.path.join(top, name))).hexdigest(), digest, name)

        launcher = os.path.join(top, "VantorixLauncher.exe")
        self.assertFalse([s for s in section_names(launcher) if s.startswith(".debug")])
        checked = subprocess.run([sys.executable, CHECK_RESOURCES, launcher], stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT)
        self.assertEqual(checked.returncode, 0, checked.stdout.decode(errors="replace"))

        image = self.image(CONFIG, launcher=launcher)
        run = self.run_image(image, ["two"])
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        self.assertEqual(run.call.arguments(), [image.win_exe, APP_PATH_PROPERTY + image.win_exe,
                                                "Main", "two"])


def make_archive(build_dir, out):
    packed = subprocess.run(
        [os.environ.get("VX_E2E_CMAKE", "cmake"), "-DBUILD_DIR=" + build_dir, "-DOUT_DIR=" + out, "-P",
         os.path.join(SOURCE_DIR, "cmake", "Package.cmake")],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    return packed.returncode, packed.stdout.decode(errors="replace")


class LinuxArchiveTest(unittest.TestCase):
    """The archive of a Linux build holds the Linux launcher and the native
    branding tool, which runs from the unpacked archive."""

    def test_archive(self):
        work = tempfile.mkdtemp(prefix="vx-archive-")
        self.addCleanup(shutil.rmtree, work, True)
        code, output = make_archive(os.environ["VX_E2E_BUILD_DIR"], os.path.join(work, "dist"))
        self.assertEqual(code, 0, output)
        archives = os.listdir(os.path.join(work, "dist"))
        self.assertEqual(len(archives), 1, archives)
        self.assertRegex(archives[0], r"^vantorix-launcher-\d+\.\d+\.\d+-linux-x64\.tar\.gz$")
        with tarfile.open(os.path.join(work, "dist", archives[0])) as packed:
            packed.extractall(work)
        top = os.path.join(work, archives[0][:-len(".tar.gz")])
        for shipped in ("VantorixLauncher", "vantorix-brand", "SHA256SUMS", "vantorix-instances.jar"):
            self.assertIn(shipped, os.listdir(top))
        usage = subprocess.run([os.path.join(top, "vantorix-brand"), "--help"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(usage.returncode, 0)
        self.assertIn(b"--execution-level LEVEL", usage.stderr)
        self.assertIn(b"--strip-signature", usage.stderr)


class BrandingTest(ImageTestCase):
    """vantorix-brand on a copied launcher."""

    def brand(self, *args):
        # Output to files: a Wine helper inheriting a pipe would keep it open.
        out = os.path.join(self.work, "brand-output.txt")
        with open(out, "wb") as sink:
            code = subprocess.run(self.tools.wine_command(os.environ["VX_E2E_BRAND"], list(args)),
                                  stdin=subprocess.DEVNULL, stdout=sink, stderr=sink,
                                  env=dict(os.environ, LC_ALL="C.UTF-8"), timeout=120).returncode
        return code, read(out).decode("utf-8", errors="replace")

    def check_resources(self, exe, *expectations):
        checked = subprocess.run([sys.executable, CHECK_RESOURCES, exe, *expectations],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return checked.returncode, checked.stdout.decode("utf-8", errors="replace")

    def icon_file(self, sizes, bitmap_limit):
        maker = load_icon_maker()
        maker.BITMAP_LIMIT = bitmap_limit
        path = os.path.join(self.work, "brand.ico")
        with open(path, "wb") as out:
            out.write(maker.icon_file(sizes))
        return path

    def test_round_trip(self):
        image = self.image(CONFIG, name="Orbit")
        # Fewer images than the default icon, bitmaps and PNG mixed: no image
        # of the old icon may stay behind.
        icon = self.icon_file((16, 32, 256), bitmap_limit=32)
        strings = {"ProductName": "Orbit Über", "FileDescription": "Orbit planner",
                   "CompanyName": "Orbit Works", "LegalCopyright": "© 2026 Orbit Works",
                   "OriginalFilename": "Orbit.exe"}
        code, output = self.brand(
            images.windows_path(image.exe), "--icon", images.windows_path(icon),
            "--file-version", "2.5.1.7", "--product-version", "2.5",
            "--product-name", strings["ProductName"], "--description", strings["FileDescription"],
            "--company", strings["CompanyName"], "--copyright", strings["LegalCopyright"],
            "--original-filename", strings["OriginalFilename"])
        self.assertEqual((code, output), (0, ""))
        expectations = ["--icon", icon, "--file-version", "2.5.1.7", "--product-version", "2.5.0.0",
                        "--string", "FileVersion=2.5.1.7", "--string", "ProductVersion=2.5.0.0",
                        "--string", "InternalName=VantorixLauncher"]
        for key, value in strings.items():
            expectations += ["--string", "%s=%s" % (key, value)]
        self.assertEqual(self.check_resources(image.exe, *expectations)[0], 0,
                         self.check_resources(image.exe, *expectations)[1])
        self.assertEqual([name for name in os.listdir(image.root) if "branding" in name], [])

        run = self.run_image(image)
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        self.assertEqual(run.call.arguments(), [image.win_exe, APP_PATH_PROPERTY + image.win_exe,
                                                "Main", "one"])

        # Branded again, only one string: the rest stays as it was.
        self.assertEqual(self.brand(image.exe, "--company", "Other"), (0, ""))
        expectations[expectations.index("CompanyName=Orbit Works")] = "CompanyName=Other"
        self.assertEqual(self.check_resources(image.exe, *expectations)[0], 0)

    def test_refusals(self):
        # Every one exits with 1 and leaves the target and its directory as
        # they were.
        launcher = self.image(CONFIG, directory="target").exe
        other = os.path.join(self.work, "Other.exe")
        shutil.copyfile(os.environ["VX_E2E_NOT_LAUNCHER"], other)
        for label, target, options, text in refusal_cases(self.work, launcher, other):
            with self.subTest(label):
                before = read(target) if os.path.exists(target) else None
                listing = sorted(os.listdir(os.path.dirname(target)))
                code, output = self.brand(target, *options)
                self.assertEqual(code, 1, output)
                self.assertIn(text, output)
                self.assertTrue(output.startswith("vantorix-brand: "), output)
                self.assertEqual(read(target) if os.path.exists(target) else None, before)
                self.assertEqual(sorted(os.listdir(os.path.dirname(target))), listing)

    def test_version_resource_in_three_runs(self):
        check_version_resource_in_three_runs(self, self.brand, self.image(CONFIG).exe)

    def read_through_system(self, exe, sizes):
        """resourcereader's "name=value" lines as a dictionary."""
        out = os.path.join(self.work, "reader-output.txt")
        with open(out, "wb") as sink:
            code = subprocess.run(self.tools.wine_command(os.environ["VX_E2E_RESOURCE_READER"],
                                                          [images.windows_path(exe)] + [str(s) for s in sizes]),
                                  stdin=subprocess.DEVNULL, stdout=sink, stderr=subprocess.DEVNULL,
                                  timeout=120).returncode
        self.assertEqual(code, 0)
        return dict(line.split("=", 1) for line in read(out).decode("utf-8").splitlines())

    @unittest.skipUnless(os.environ.get("VX_E2E_NATIVE_BRAND"), "no branding tool built for this host")
    def test_system_reads_what_the_native_tool_wrote(self):
        # Branded on Linux without Wine; the Windows tool writes the very same
        # bytes, and the system's own functions find every field, the icon at
        # each size and the execution level.
        image = self.image(CONFIG, name="Orbit")
        icon = make_icon(os.path.join(self.work, "orbit.ico"))
        options = brand_options(icon) + ["--execution-level", "requireAdministrator"]
        native = subprocess.run([os.environ["VX_E2E_NATIVE_BRAND"], image.exe] + options,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual((native.returncode, native.stdout), (0, b""))
        by_windows_tool = os.path.join(self.work, "Windows.exe")
        shutil.copyfile(self.tools.launcher, by_windows_tool)
        self.assertEqual(self.brand(images.windows_path(by_windows_tool), *options), (0, ""))
        self.assertEqual(read(by_windows_tool), read(image.exe))

        found = self.read_through_system(image.exe, ICON_SIZES)
        self.assertEqual(found["file-version"], "2.5.1.7")
        self.assertEqual(found["product-version"], "2.5.0.0")
        for key, value in dict(STRINGS, FileVersion="2.5.1.7", ProductVersion="2.5.0.0",
                               InternalName="VantorixLauncher").items():
            self.assertEqual(found.get("string " + key), value, key)
        self.assertEqual(found["icons"], "1")
        # Each size picks the image of that size: ids follow the icon file.
        for number, size in enumerate(ICON_SIZES, 1):
            self.assertEqual(found["icon %d" % size], "%d made" % number)
        self.assertEqual(found["level"], "requireAdministrator")

        # The launcher runs the stub runtime as before.
        run = self.run_image(image)
        self.assertEqual((run.exit_code, run.stderr_text), (0, ""))
        self.assertEqual(run.call.arguments(), [image.win_exe, APP_PATH_PROPERTY + image.win_exe,
                                                "Main", "one"])


if __name__ == "__main__":
    unittest.main()
