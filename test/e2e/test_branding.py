"""End-to-end tests of the native branding tool on the built Windows
launchers, with no Wine involved: what it writes is read back by the
project's own reader (test/resources/check_resources.py), by wrestool, and
by the MinGW objdump; a signature made with osslsigncode is refused or
stripped.

    test_branding.py [-v] NativeBrandingTest

VX_E2E_NATIVE_BRAND (the native tool), VX_E2E_LAUNCHER and
VX_E2E_CONSOLE_LAUNCHER (the launchers to brand), VX_E2E_OBJDUMP (the
objdump of their target), VX_E2E_SOURCE_DIR.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

here = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("VX_E2E_SOURCE_DIR", os.path.dirname(os.path.dirname(here)))
CHECK_RESOURCES = os.path.join(SOURCE_DIR, "test", "resources", "check_resources.py")
sys.path.insert(0, os.path.join(SOURCE_DIR, "test", "resources"))
import check_resources  # noqa: E402

STRINGS = {"ProductName": "Orbit Über", "FileDescription": "Orbit planner",
           "CompanyName": "Orbit Works", "LegalCopyright": "© 2026 Orbit Works",
           "OriginalFilename": "Orbit.exe"}
ICON_SIZES = (16, 32, 48, 256)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_icon(path, sizes=ICON_SIZES, bitmap_limit=32):
    """An icon file of the project's icon maker: bitmaps up to bitmap_limit,
    PNG above."""
    import importlib.util
    spec = importlib.util.spec_from_file_location("make_icon", os.path.join(SOURCE_DIR, "scripts",
                                                                          "make-icon.py"))
    maker = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(maker)
    maker.BITMAP_LIMIT = bitmap_limit
    with open(path, "wb") as out:
        out.write(maker.icon_file(sizes))
    return path


def brand_options(icon):
    return ["--icon", icon, "--file-version", "2.5.1.7", "--product-version", "2.5",
            "--product-name", STRINGS["ProductName"], "--description", STRINGS["FileDescription"],
            "--company", STRINGS["CompanyName"], "--copyright", STRINGS["LegalCopyright"],
            "--original-filename", STRINGS["OriginalFilename"]]


def expectations(icon, level):
    """check_resources.py's options for what brand_options writes."""
    wanted = ["--icon", icon, "--file-version", "2.5.1.7", "--product-version", "2.5.0.0",
              "--string", "FileVersion=2.5.1.7", "--string", "ProductVersion=2.5.0.0",
              "--execution-level", level]
    for key, value in STRINGS.items():
        wanted += ["--string", "%s=%s" % (key, value)]
    return wanted


def refusal_cases(work, launcher, not_launcher):
    """(label, target, options, text the error must hold) of refusals that
    must leave the target byte for byte as it was; shared with the test of
    the Windows tool under Wine."""
    bad_icon = os.path.join(work, "bad.ico")
    with open(bad_icon, "wb") as out:
        out.write(b"\0\0\1\0\2\0" + b"\x10" * 20)
    # 4,096 entries naming one 64 KiB image.
    shared_icon = os.path.join(work, "shared.ico")
    with open(shared_icon, "wb") as out:
        image = struct.pack("<I", 40) + b"\0" * (64 * 1024 - 4)
        out.write(struct.pack("<HHH", 0, 1, 4096))
        for _ in range(4096):
            out.write(struct.pack("<BBBBHHII", 64, 64, 0, 0, 1, 32, len(image), 6 + 16 * 4096))
        out.write(image)
    return [
        ("bad icon file", launcher, ["--icon", bad_icon], "Not a usable icon file"),
        ("icon entries sharing one image", launcher, ["--icon", shared_icon],
         "image 2 shares its bytes with another image"),
        ("missing icon file", launcher, ["--icon", os.path.join(work, "none.ico")], "Cannot open"),
        ("bad version number", launcher, ["--file-version", "1.2.3.70000"],
         'Invalid version number "1.2.3.70000"'),
        ("bad execution level", launcher, ["--execution-level", "admin"],
         'Invalid execution level "admin"'),
        ("unknown option", launcher, ["--colour", "red"], "Unknown option --colour"),
        ("missing target", os.path.join(work, "Missing.exe"), ["--company", "x"], "Cannot open"),
        ("not a launcher", not_launcher, ["--company", "x"], "is not a Vantorix launcher"),
        ("not an executable", bad_icon, ["--company", "x"], "is not a Vantorix launcher"),
    ]


def check_version_resource_in_three_runs(test, brand, target):
    """Strings of 15,000, 15,000 and 5,000 characters: the third would wrap
    the string table's 16-bit length, and is refused with the target as it
    was (a command line holds at most 32,767 characters, hence three runs)."""
    test.assertEqual(brand(target, "--description", "d" * 15000), (0, ""))
    test.assertEqual(brand(target, "--company", "c" * 15000), (0, ""))
    before = read(target)
    code, output = brand(target, "--copyright", "r" * 5000)
    test.assertEqual(code, 1)
    test.assertIn("The version resource would be too large", output)
    test.assertEqual(read(target), before)
    test.assertEqual(check_resources.check(target, True, None, None, (None, None),
                                           [("CompanyName", "c" * 15000)]), [])


def directory_listing(path):
    return sorted(os.listdir(os.path.dirname(path)))


class NativeBrandingTest(unittest.TestCase):
    """vantorix-brand built for Linux, on the Windows launchers."""

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-brand-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def brand(self, *args):
        done = subprocess.run([os.environ["VX_E2E_NATIVE_BRAND"], *args], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(done.stdout, b"")
        return done.returncode, done.stderr.decode("utf-8", errors="replace")

    def copy(self, name, launcher=None):
        directory = os.path.join(self.work, name)
        os.makedirs(directory)
        target = os.path.join(directory, name + ".exe")
        shutil.copyfile(launcher or os.environ["VX_E2E_LAUNCHER"], target)
        os.chmod(target, 0o750)
        return target

    def assertObjdumpAccepts(self, path):
        dumped = subprocess.run([os.environ["VX_E2E_OBJDUMP"], "-p", path], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((dumped.returncode, dumped.stderr), (0, b""))
        self.assertIn(b"Resource Directory [.rsrc]", dumped.stdout)

    def test_brand_and_read_back(self):
        icon = make_icon(os.path.join(self.work, "orbit.ico"))
        for launcher, level in ((os.environ["VX_E2E_LAUNCHER"], "requireAdministrator"),
                                (os.environ["VX_E2E_CONSOLE_LAUNCHER"], "highestAvailable")):
            with self.subTest(os.path.basename(launcher)):
                first = self.copy("first-" + level, launcher)
                second = self.copy("second-" + level, launcher)
                for target in (first, second):
                    self.assertEqual(self.brand(target, *brand_options(icon), "--execution-level", level),
                                     (0, ""))
                # Reproducible: the same inputs give the same bytes.
                self.assertEqual(read(first), read(second))
                self.assertEqual(directory_listing(first), [os.path.basename(first)])
                problems = check_resources.check(first, True, None, icon, ("2.5.1.7", "2.5.0.0"),
                                                 [(k, v) for k, v in STRINGS.items()], level)
                self.assertEqual(problems, [])
                self.assertObjdumpAccepts(first)
                # The file keeps its permissions.
                self.assertEqual(os.stat(first).st_mode & 0o7777, 0o750)
                self.assertWrestoolReads(first, icon)

                # Branded again with one option: the rest stays.
                self.assertEqual(self.brand(first, "--company", "Other"), (0, ""))
                problems = check_resources.check(first, True, None, icon, ("2.5.1.7", "2.5.0.0"),
                                                 [("CompanyName", "Other"), ("ProductName", "Orbit Über")],
                                                 level)
                self.assertEqual(problems, [])
                self.assertObjdumpAccepts(first)

    def assertWrestoolReads(self, path, icon):
        listed = subprocess.run(["wrestool", "-l", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((listed.returncode, listed.stderr), (0, b""))
        icons = [line for line in listed.stdout.decode().splitlines() if "--type=3 " in line]
        self.assertEqual(len(icons), len(ICON_SIZES), listed.stdout)
        # The group extracted as an icon file holds the images of ours.
        extracted = subprocess.run(["wrestool", "-x", "--type=14", "--name=1", path],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((extracted.returncode, extracted.stderr), (0, b""))
        self.assertEqual(check_resources.icon_file_images(extracted.stdout),
                         check_resources.icon_file_images(read(icon)))

    def test_refusals_leave_the_target(self):
        launcher = self.copy("Orbit")
        not_launcher = os.path.join(self.work, "Other.exe")
        shutil.copyfile(CHECK_RESOURCES, not_launcher)
        for label, target, options, text in refusal_cases(self.work, launcher, not_launcher):
            with self.subTest(label):
                before = read(target) if os.path.exists(target) else None
                listing = directory_listing(target)
                code, output = self.brand(target, *options)
                self.assertEqual(code, 1, output)
                self.assertTrue(output.startswith("vantorix-brand: "), output)
                self.assertIn(text, output)
                self.assertEqual(output.count("\n"), 1, output)
                self.assertEqual(read(target) if os.path.exists(target) else None, before)
                self.assertEqual(directory_listing(target), listing)

    def test_version_resource_in_three_runs(self):
        check_version_resource_in_three_runs(self, self.brand, self.copy("Orbit"))

    def test_planted_link_beside_the_target(self):
        target = self.copy("Orbit")
        victim = os.path.join(self.work, "victim")
        with open(victim, "wb") as out:
            out.write(b"victim")
        os.symlink(victim, target + ".branding")
        self.assertEqual(self.brand(target, "--company", "Orbit Works"), (0, ""))
        self.assertEqual(read(victim), b"victim")
        self.assertFalse(os.path.islink(target))
        self.assertTrue(os.path.islink(target + ".branding"))
        self.assertEqual(check_resources.check(target, True, None, None, (None, None),
                                               [("CompanyName", "Orbit Works")]), [])

    def test_signing(self):
        icon = make_icon(os.path.join(self.work, "orbit.ico"))
        target = self.copy("Orbit")
        self.assertEqual(self.brand(target, *brand_options(icon)), (0, ""))
        key, cert = os.path.join(self.work, "key.pem"), os.path.join(self.work, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                        "-out", cert, "-days", "2", "-subj", "/CN=Orbit Works test"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        signed = target[:-len(".exe")] + "-signed.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Orbit",
                        "-in", target, "-out", signed], check=True, stdout=subprocess.DEVNULL)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(verified.returncode, 0, verified.stdout.decode(errors="replace"))
        self.assertIn(b"Signature verification: ok", verified.stdout)

        before = read(signed)
        code, output = self.brand(signed, "--company", "Other")
        self.assertEqual(code, 1)
        self.assertEqual(output, 'vantorix-brand: "%s" is signed: brand it first and sign it after, or give '
                                 "--strip-signature to remove the signature\n" % signed)
        self.assertEqual(read(signed), before)

        self.assertEqual(self.brand(signed, "--company", "Other", "--strip-signature"), (0, ""))
        stripped = read(signed)
        pe = struct.unpack_from("<I", stripped, 0x3C)[0]
        magic = struct.unpack_from("<H", stripped, pe + 24)[0]
        directories = pe + 24 + (112 if magic == 0x20B else 96)
        self.assertEqual(struct.unpack_from("<II", stripped, directories + 4 * 8), (0, 0))
        self.assertEqual(check_resources.check(signed, True, None, icon, (None, None),
                                               [("CompanyName", "Other")]), [])
        self.assertObjdumpAccepts(signed)
        unsigned = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertNotEqual(unsigned.returncode, 0)


if __name__ == "__main__":
    unittest.main()
