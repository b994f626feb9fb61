"""The Gradle build snippet (tools/gradle/vantorix-image.gradle) with
Debian's Gradle, offline: a project with a dependency from Debian's Maven
repository gets an image that runs, and the tool's refusal fails the build
with the tool's line. Standard library only."""

import os
import re
import shutil
import subprocess
import unittest

SOURCE = os.environ.get("VX_SOURCE_DIR", "")
WORK = os.environ.get("VX_GRADLE_DIR", "")
SNIPPET = os.path.join(SOURCE, "tools", "gradle", "vantorix-image.gradle")


def gradle(project, *arguments):
    command = [os.environ.get("VX_GRADLE") or "gradle", "--offline", "--no-daemon",
               "-PvantorixSnippet=" + SNIPPET,
               "-PvantorixHome=" + os.path.dirname(os.environ["VX_IMAGE_JAR"]), *arguments]
    environment = dict(os.environ, GRADLE_USER_HOME=os.path.join(WORK, "gradle-home"))
    result = subprocess.run(command, cwd=project, capture_output=True, text=True, timeout=900,
                            env=environment, stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout + result.stderr


class GradleSnippetTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.project = os.path.join(WORK, "hello")
        shutil.rmtree(cls.project, ignore_errors=True)
        shutil.copytree(os.path.join(SOURCE, "test", "gradle"), cls.project,
                        ignore=shutil.ignore_patterns("*.py", "CMakeLists.txt"))

    def test_image_of_a_project_with_a_dependency_runs(self):
        status, output = gradle(self.project, "vantorixImage")
        self.assertEqual(status, 0, output[-6000:])
        image = os.path.join(self.project, "build", "hello")
        app = sorted(os.listdir(os.path.join(image, "app")))
        print("build/hello/app: " + " ".join(app))
        self.assertEqual(["commons-cli-1.5.0.jar", "hello-1.2-SNAPSHOT.jar", "hello.cfg"], app)
        environment = dict(os.environ)
        if os.environ.get("VX_E2E_SANITIZED"):
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        run = subprocess.run([os.path.join(image, "hello"), "--greeting", "Hi"], capture_output=True,
                             text=True, timeout=120, env=environment, stdin=subprocess.DEVNULL)
        print("$ build/hello/hello --greeting Hi (exit code %d)\n%s%s"
              % (run.returncode, run.stdout, run.stderr))
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("Hi from %s on Java 17" % os.path.join(image, "hello"), run.stdout)

    def test_refusal_fails_the_task_with_the_tools_line(self):
        status, output = gradle(self.project, "vantorixImage", "-PvantorixOptions=--bogus")
        self.assertNotEqual(status, 0)
        self.assertRegex(output, r"(?m)^> vantorix-image: unknown option --bogus \(see --help\)$")

    def test_docs_show_the_snippet_as_it_is(self):
        with open(SNIPPET) as f:
            snippet = f.read()
        with open(os.path.join(SOURCE, "docs", "maven.md")) as f:
            self.assertIn("```groovy\n" + snippet + "```\n", f.read())


if __name__ == "__main__":
    unittest.main()
