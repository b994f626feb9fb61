"""The Maven plugin, built and used offline with Debian's Maven.

PluginBuildTest builds the plugin with its unit tests and installs it into
the build tree's local repository (Debian's repository linked in, and the
image tool's jar); the other groups need it there (a CTest fixture). Each
project is copied into the build tree and built with `mvn -o package`; the
images it makes are run with the Linux launcher and the Java 17 runtime that
the tool linked. Standard library only.
"""

import os
import re
import shutil
import subprocess
import unittest

WORK = os.environ.get("VX_MAVEN_DIR", "")
SOURCE = os.environ.get("VX_SOURCE_DIR", "")
VERSION = os.environ.get("VX_VERSION", "")
REPO = os.path.join(WORK, "repo")
MVN = os.environ.get("VX_MVN") or "mvn"


def mvn(project_dir, *arguments, log):
    """Runs Maven offline, in batch mode, with the build tree's repository;
    returns (exit code, output), the output also written to the log file."""
    command = [MVN, "-o", "-B", "-Dstyle.color=never", "-Dmaven.repo.local=" + REPO, *arguments]
    os.makedirs(os.path.dirname(log), exist_ok=True)
    with open(log, "w") as out:
        out.write("$ (cd %s && %s)\n" % (project_dir, " ".join(command)))
        out.flush()
        status = subprocess.run(command, cwd=project_dir, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, timeout=600).returncode
    with open(log) as f:
        return status, f.read()


def run_image(executable, *arguments):
    environment = dict(os.environ)
    if os.environ.get("VX_E2E_SANITIZED"):
        environment["ASAN_OPTIONS"] = "detect_leaks=0"
    return subprocess.run([executable, *arguments], capture_output=True, text=True, timeout=120,
                          env=environment, stdin=subprocess.DEVNULL)


def copy_project(relative_dirs, into):
    """Copies source-tree directories into the build tree, keeping their
    relative places (the sample reaches ../orbit)."""
    shutil.rmtree(into, ignore_errors=True)
    for relative in relative_dirs:
        shutil.copytree(os.path.join(SOURCE, relative), os.path.join(into, relative))
    return into


def show_tree(root):
    """The files of an image, one a line, with runtime/ shown as one entry."""
    lines = []
    for directory, dirs, files in os.walk(root):
        relative = os.path.relpath(directory, root)
        if relative == "runtime":
            lines.append("runtime/ (%d entries)" % len(dirs + files))
            dirs[:] = []
            continue
        dirs.sort()
        lines.extend(os.path.normpath(os.path.join(relative, name)) for name in sorted(files))
    return sorted(lines)


class PluginBuildTest(unittest.TestCase):
    def test_builds_tests_and_installs_the_plugin(self):
        # Debian's repository, linked in; existing links stay.
        os.makedirs(REPO, exist_ok=True)
        subprocess.run(["cp", "-rsn", "/usr/share/maven-repo/.", REPO + "/"], check=True)
        # The image tool, as the artifact the plugin depends on.
        tool_dir = os.path.join(REPO, "org", "vantorix", "vantorix-image", VERSION)
        os.makedirs(tool_dir, exist_ok=True)
        shutil.copyfile(os.environ["VX_IMAGE_JAR"],
                        os.path.join(tool_dir, "vantorix-image-%s.jar" % VERSION))
        with open(os.path.join(tool_dir, "vantorix-image-%s.pom" % VERSION), "w") as pom:
            pom.write(
                '<?xml version="1.0" encoding="UTF-8"?>\n'
                '<project xmlns="http://maven.apache.org/POM/4.0.0">\n'
                "  <modelVersion>4.0.0</modelVersion>\n"
                "  <groupId>org.vantorix</groupId>\n"
                "  <artifactId>vantorix-image</artifactId>\n"
                "  <version>%s</version>\n"
                "  <description>The image tool (Java 17, no other libraries)</description>\n"
                "</project>\n" % VERSION)
        plugin = os.path.join(WORK, "plugin")
        status, output = mvn(plugin, "install", log=os.path.join(WORK, "logs", "plugin.log"))
        self.assertEqual(status, 0, output[-6000:])
        tests = re.findall(r"Tests run: (\d+), Failures: (\d+), Errors: (\d+), Skipped: (\d+)$",
                           output, re.M)
        self.assertTrue(tests, "surefire ran no tests:\n" + output[-3000:])
        print("plugin unit tests (surefire's total): run %s, failures %s, errors %s, skipped %s"
              % tests[-1])
        installed = os.path.join(REPO, "org", "vantorix", "vantorix-maven-plugin", VERSION,
                                 "vantorix-maven-plugin-%s.jar" % VERSION)
        self.assertTrue(os.path.isfile(installed), installed)


class SampleTest(unittest.TestCase):
    """demo/orbit-maven: the demo application with a dependency (commons-cli
    from Debian's repository), its image and its Debian package."""

    def test_package_makes_an_image_that_runs_and_a_deb(self):
        root = copy_project(["demo/orbit", "demo/orbit-maven"], os.path.join(WORK, "sample"))
        project = os.path.join(root, "demo", "orbit-maven")
        with open(os.path.join(project, "pom.xml")) as f:
            self.assertIn("<artifactId>vantorix-maven-plugin</artifactId>\n        <version>%s</version>"
                          % VERSION, f.read(), "the sample names the plugin's version")
        status, output = mvn(project, "package", "-Dvantorix.installer=deb",
                             log=os.path.join(WORK, "logs", "sample.log"))
        self.assertEqual(status, 0, output[-6000:])
        image = os.path.join(project, "target", "Orbit")
        files = show_tree(image)
        print("target/Orbit:\n  " + "\n  ".join(files))
        # The project's jar and its dependency side by side, the class path naming both.
        self.assertIn(os.path.join("app", "orbit-2.5.1-SNAPSHOT.jar"), files)
        self.assertIn(os.path.join("app", "commons-cli-1.5.0.jar"), files)
        with open(os.path.join(image, "app", "Orbit.cfg")) as f:
            config = f.read()
        self.assertIn("app.mainclass=org.example.orbit.OrbitCommand", config)
        self.assertIn("commons-cli-1.5.0.jar", config)
        result = run_image(os.path.join(image, "Orbit"), "--planet", "Jupiter")
        print("$ target/Orbit/Orbit --planet Jupiter (exit code %d)\n%s%s"
              % (result.returncode, result.stdout, result.stderr))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout, r"(?m)^Jupiter ")
        self.assertNotRegex(result.stdout, r"(?m)^Earth ")
        # commons-cli's own message, so the dependency was on the class path.
        bad = run_image(os.path.join(image, "Orbit"), "--moon")
        self.assertEqual(bad.returncode, 2, bad.stdout + bad.stderr)
        self.assertIn("orbit: Unrecognized option: --moon", bad.stderr)
        deb = os.path.join(project, "target", "orbit_2.5.1_amd64.deb")
        self.assertTrue(os.path.isfile(deb), output[-3000:])
        fields = subprocess.run(["dpkg-deb", "--field", deb, "Package", "Version", "Description"],
                                capture_output=True, text=True, check=True).stdout
        print("target/orbit_2.5.1_amd64.deb:\n" + fields)
        self.assertIn("Package: orbit", fields)
        self.assertIn("Version: 2.5.1", fields)


class MinimalTest(unittest.TestCase):
    """A project with only the plugin's coordinates and its jar's Main-Class."""

    def test_package_makes_a_working_image(self):
        project = os.path.join(copy_project(["test/maven/minimal"], os.path.join(WORK, "minimal")),
                               "test", "maven", "minimal")
        status, output = mvn(project, "package", log=os.path.join(WORK, "logs", "minimal.log"))
        self.assertEqual(status, 0, output[-6000:])
        image = os.path.join(project, "target", "hello")
        files = show_tree(image)
        print("target/hello:\n  " + "\n  ".join(files))
        self.assertEqual([".vantorix-image", "app/hello-1.0.jar", "app/hello.cfg", "hello"], files[:4])
        self.assertRegex(files[4], r"^runtime/ ")
        self.assertEqual(5, len(files))
        result = run_image(os.path.join(image, "hello"), "one", "two")
        print("$ target/hello/hello one two (exit code %d)\n%s%s"
              % (result.returncode, result.stdout, result.stderr))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Hello from %s on Java 17, arguments one two" % os.path.join(image, "hello"),
                      result.stdout)

    def test_skip_makes_nothing(self):
        project = os.path.join(copy_project(["test/maven/minimal"], os.path.join(WORK, "skipped")),
                               "test", "maven", "minimal")
        status, output = mvn(project, "package", "-Dvantorix.skip",
                             log=os.path.join(WORK, "logs", "skipped.log"))
        self.assertEqual(status, 0, output[-6000:])
        self.assertIn("Skipping the image (vantorix.skip)", output)
        self.assertFalse(os.path.exists(os.path.join(project, "target", "hello")))
        self.assertTrue(os.path.isfile(os.path.join(project, "target", "hello-1.0.jar")))


class RefusalTest(unittest.TestCase):
    def test_missing_main_class_fails_the_build_with_the_tools_line(self):
        project = os.path.join(copy_project(["test/maven/minimal"], os.path.join(WORK, "refusal")),
                               "test", "maven", "minimal")
        status, output = mvn(project, "package", "-Dvantorix.mainClass=org.example.hello.Missing",
                             log=os.path.join(WORK, "logs", "refusal.log"))
        errors = [line for line in output.splitlines() if line.startswith("[ERROR]")]
        print("\n".join(errors[:3]))
        self.assertNotEqual(status, 0)
        self.assertRegex(
            errors[0],
            r"^\[ERROR\] Failed to execute goal org\.vantorix:vantorix-maven-plugin:%s:image"
            r" \(default\) on project hello: vantorix-image: the main class org\.example\.hello\.Missing"
            r" is in none of the class-path entries" % re.escape(VERSION))
        self.assertFalse(os.path.exists(os.path.join(project, "target", "hello")))


if __name__ == "__main__":
    unittest.main()
