"""Unit tests of the image tool's readers and checks, for the cases that its
end-to-end tests (test/e2e/test_image_tool.py) do not reach: module names
of plain jars, exploded modules and multi-release jars, manifest lines, the
icon layout, the main jar's Class-Path, and file names of the targets.

    test_vantorix_image.py [-v]

javac and jar make the one module used here.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

here = os.path.dirname(os.path.abspath(__file__))
source_dir = os.path.dirname(os.path.dirname(here))
sys.path.insert(0, os.path.join(source_dir, "tools"))
from vantorix_image import Refusal, binaries, icon, jars, plan  # noqa: E402

MODULE_SOURCES = os.path.join(source_dir, "test", "e2e", "java", "module", "demo.mod")


def write_jar(path, entries):
    with zipfile.ZipFile(path, "w") as jar:
        for name, data in entries.items():
            jar.writestr(name, data)
    return path


def manifest(*lines):
    return ("Manifest-Version: 1.0\r\n" + "".join(line + "\r\n" for line in lines) + "\r\n").encode("utf-8")


class WorkTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vx-image-unit-")
        self.addCleanup(shutil.rmtree, self.work, True)


class ModulesTest(WorkTestCase):
    def test_module_names_on_the_module_path(self):
        exploded = os.path.join(self.work, "mods", "demo.mod")
        subprocess.run(["javac", "-d", exploded, os.path.join(MODULE_SOURCES, "module-info.java"),
                        os.path.join(MODULE_SOURCES, "org", "demo", "Hello.java")], check=True)
        with open(os.path.join(exploded, "module-info.class"), "rb") as f:
            module_info = f.read()
        mods = os.path.join(self.work, "mods")
        write_jar(os.path.join(mods, "multi.jar"), {
            "META-INF/MANIFEST.MF": manifest("Multi-Release: true"),
            "META-INF/versions/11/module-info.class": module_info.replace(b"demo.mod", b"demo.mr9"),
            "org/demo/Hello.class": b""})
        write_jar(os.path.join(mods, "commons_text-1.10.0.jar"), {"META-INF/MANIFEST.MF": manifest()})
        write_jar(os.path.join(mods, "named-2.jar"),
                  {"META-INF/MANIFEST.MF": manifest("automatic-module-name: org.named")})
        with open(os.path.join(mods, "notes.txt"), "w") as out:
            out.write("not a module")
        found = {m.name: m for m in jars.modules_on_path([mods])}
        self.assertEqual(sorted(found), ["commons.text", "demo.mod", "demo.mr9", "org.named"])
        self.assertTrue(found["demo.mr9"].entry.has_class("org.demo.Hello"))
        self.assertIsNone(found["demo.mod"].main_class)
        # A module path entry that is the module itself.
        self.assertEqual([m.name for m in jars.modules_on_path([exploded])], ["demo.mod"])

    def test_unreadable_module_info_is_a_refusal(self):
        jar = write_jar(os.path.join(self.work, "broken.jar"), {"module-info.class": b"\xca\xfe\xba\xbe\0"})
        with self.assertRaisesRegex(Refusal, "the module-info.class of .*broken.jar cannot be read"):
            jars.modules_on_path([jar])
        not_a_jar = os.path.join(self.work, "text.jar")
        with open(not_a_jar, "w") as out:
            out.write("text")
        with self.assertRaisesRegex(Refusal, "text.jar is not a readable jar"):
            jars.modules_on_path([not_a_jar])


class ManifestTest(unittest.TestCase):
    def test_main_attributes(self):
        data = ("Manifest-Version: 1.0\nmain-class: org.example.VeryLongNameThatTheJarToolWrapsAt72Byt\n"
                " esOfALine\r\nClass-Path: lib/a.jar\n  lib/b.jar\n\nName: org/example/\nMain-Class: Other\n")
        self.assertEqual(jars.parse_manifest(data.encode("utf-8")), {
            "manifest-version": "1.0",
            "main-class": "org.example.VeryLongNameThatTheJarToolWrapsAt72BytesOfALine",
            "class-path": "lib/a.jar lib/b.jar"})


class MainJarTest(WorkTestCase):
    def test_main_class_on_the_manifests_class_path(self):
        files = plan.Files(self.work, binaries.TARGETS["windows-x64"])
        os.makedirs(os.path.join(self.work, "lib"))
        write_jar(os.path.join(self.work, "lib", "core.jar"), {"org/example/Main.class": b""})
        write_jar(os.path.join(self.work, "app.jar"),
                  {"META-INF/MANIFEST.MF": manifest("Main-Class: org.example.Main", "Class-Path: lib/core.jar")})
        write_jar(os.path.join(self.work, "lost.jar"),
                  {"META-INF/MANIFEST.MF": manifest("Main-Class: org.example.Main", "Class-Path: lib/none.jar")})
        self.assertEqual(plan.check_main_jar(files, "app.jar"), "app.jar")
        with self.assertRaisesRegex(Refusal, "the main class org.example.Main of lost.jar's manifest is not in "
                                             "the jar nor on its Class-Path"):
            plan.check_main_jar(files, "lost.jar")


class IconTest(unittest.TestCase):
    @staticmethod
    def icon_file(*images):
        count = len(images)
        directory, data, offset = b"", b"", 6 + 16 * count
        for image in images:
            directory += bytes([16, 16, 0, 0]) + (1).to_bytes(2, "little") + (32).to_bytes(2, "little") + \
                len(image).to_bytes(4, "little") + (offset + len(data)).to_bytes(4, "little")
            data += image
        return b"\0\0\1\0" + count.to_bytes(2, "little") + directory + data

    def test_layouts(self):
        bitmap = (40).to_bytes(4, "little") + b"\0" * 60
        png = icon.PNG_SIGNATURE + b"\0" * 20
        good = self.icon_file(bitmap, png)
        cases = [
            ("bitmap and PNG", good, None),
            ("a cursor file", b"\0\0\2\0" + good[4:], "no icon header (reserved 0, type 2"),
            ("no image", b"\0\0\1\0\0\0", "it holds no image"),
            ("cut short", good[:-1], "image 2 lies outside the file"),
            ("image data of another kind", self.icon_file(b"GIF89a" + b"\0" * 30), "image 1 is neither a bitmap nor PNG"),
            ("empty file", b"", "too short for an icon header"),
        ]
        for label, data, problem in cases:
            with self.subTest(label):
                found = icon.icon_problem(data)
                if problem is None:
                    self.assertIsNone(found)
                else:
                    self.assertTrue(found and found.startswith(problem), found)


class NamesTest(unittest.TestCase):
    def test_file_names_of_the_targets(self):
        windows, linux = binaries.TARGETS["windows-x64"], binaries.TARGETS["linux-x64"]
        cases = [
            ("Orbit Über", windows, None),
            ("My.Orbit", linux, None),
            ("a:b", linux, None),
            ("a:b", windows, 'the name "a:b" holds :, which Windows file names cannot hold'),
            ("Orbit.", windows, 'the name "Orbit." ends with a dot'),
            ("con", windows, 'the name "con" is a Windows device name'),
            ("LPT1.app", windows, 'the name "LPT1.app" is a Windows device name'),
            ("a/b", linux, 'the name "a/b" cannot be a file name'),
            ("..", linux, 'the name ".." cannot be a file name'),
            ("tab\there", linux, 'the name "tab\\there" cannot be a file name'),
        ]
        for name, target, message in cases:
            with self.subTest(name=name, target=target.name):
                if message is None:
                    plan.check_name(name, target)
                else:
                    with self.assertRaises(Refusal) as caught:
                        plan.check_name(name, target)
                    self.assertTrue(str(caught.exception).startswith(message), str(caught.exception))
        # The config file's name follows the launcher's own rule.
        self.assertEqual(plan.drop_suffix("My.Orbit.exe"), "My.Orbit.cfg")
        self.assertEqual(plan.drop_suffix("My.Orbit"), "My.cfg")


if __name__ == "__main__":
    unittest.main()
