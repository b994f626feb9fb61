"""End-to-end test of the single instance on Linux with a real Java 17
runtime: an image packaged with app.single-instance=true whose program
receives forwarded starts through vantorix-instances.jar.

From the environment (test/CMakeLists.txt): VX_E2E_LINUX_LAUNCHER, the
launcher; VX_E2E_INSTANCES_JAR, the library; VX_E2E_SANITIZED as for
test_linux_launcher.py. Without a runtime or the jar every test is skipped
and "SKIPPED: <reason>" is printed.
"""

import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import linux_image  # noqa: E402

SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "java")
RUNTIME, SKIP_REASON = linux_image.find_runtime("x86_64")
INSTANCES_JAR = os.environ.get("VX_E2E_INSTANCES_JAR", "")
if RUNTIME is not None and not os.path.isfile(INSTANCES_JAR):
    RUNTIME, SKIP_REASON = None, "no vantorix-instances.jar (VX_E2E_INSTANCES_JAR=%r)" % INSTANCES_JAR
if RUNTIME is None:
    print("SKIPPED: " + SKIP_REASON, flush=True)

# A forwarded start must end long before a JVM could have started and run;
# generous for the sanitizer build on a loaded machine.
FORWARD_BOUND_SECONDS = 5.0
ARGS = ["two words", "Grüße-Юлия"]


def hexed(texts):
    return ",".join(t.encode("utf-8").hex() for t in texts)


class Instance:
    """A running first start; its output lines arrive on a queue."""

    def __init__(self, command, env, cwd):
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, env=env, cwd=cwd)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.decode("utf-8", errors="replace").rstrip("\n"))
        self.lines.put(None)

    def next_line(self, timeout=60):
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no output from the instance within %d s" % timeout)
        if line is None:
            raise AssertionError("the instance ended (exit code %s)" % self.process.wait())
        return line

    def kill(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
        self.process.wait()


class SingleInstanceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if RUNTIME is None:
            raise unittest.SkipTest(SKIP_REASON)
        # Readable for nobody too: the whole chain is 0755.
        cls.work = tempfile.mkdtemp(prefix="vx-single-")
        os.chmod(cls.work, 0o755)
        classes = os.path.join(cls.work, "classes")
        subprocess.run(["javac", "-d", classes, "-cp", INSTANCES_JAR,
                        os.path.join(SOURCES, "SingleInstanceApp.java"),
                        os.path.join(SOURCES, "Probe.java"), os.path.join(SOURCES, "Native.java")],
                       check=True, capture_output=True)
        config = ("[Application]\napp.classpath=$APPDIR/classes\napp.classpath=$APPDIR/vantorix-instances.jar\n"
                  "app.mainclass=%s\napp.single-instance=true\n")
        cls.image = linux_image.assemble(os.path.join(cls.work, "img"), os.environ["VX_E2E_LINUX_LAUNCHER"],
                                         RUNTIME, "Demo", config % "SingleInstanceApp")
        cls.image.add_tree(classes, os.path.join("app", "classes"))
        cls.image.add_tree(INSTANCES_JAR, os.path.join("app", "vantorix-instances.jar"))
        # The same, with a program that never calls the library.
        cls.probe = linux_image.assemble(os.path.join(cls.work, "probe"), os.environ["VX_E2E_LINUX_LAUNCHER"],
                                         RUNTIME, "Probe", config % "Probe")
        cls.probe.add_tree(classes, os.path.join("app", "classes"))
        cls.probe.add_tree(INSTANCES_JAR, os.path.join("app", "vantorix-instances.jar"))
        for directory, _, files in os.walk(cls.work):
            os.chmod(directory, 0o755)
        cls.documents = os.path.join(cls.work, "my documents")
        os.makedirs(cls.documents)
        os.chmod(cls.documents, 0o755)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.runtime_dir = tempfile.mkdtemp(prefix="vx-xdg-")
        self.addCleanup(shutil.rmtree, self.runtime_dir, True)
        self.instances = []
        self.addCleanup(lambda: [i.kill() for i in self.instances])

    def environment(self, runtime_dir=None, debug=False, listed=True):
        env = dict(os.environ)
        for name in ("VANTORIX_DEBUG", "VANTORIX_RESTARTED", "VANTORIX_RUNTIME_RESTART",
                     "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
            env.pop(name, None)
        env["LC_ALL"] = "C.UTF-8"
        env["XDG_RUNTIME_DIR"] = runtime_dir or self.runtime_dir
        # Unlisted: the launcher replaces itself once with execv.
        if listed:
            env["LD_LIBRARY_PATH"] = self.image.app_dir
        else:
            env.pop("LD_LIBRARY_PATH", None)
        if os.environ.get("VX_E2E_SANITIZED"):
            env["ASAN_OPTIONS"] = "detect_leaks=0"
        if debug:
            env["VANTORIX_DEBUG"] = "true"
        return env

    def first_start(self, args=(), prefix=(), env=None):
        instance = Instance(list(prefix) + [self.image.exe] + list(args), env or self.environment(), self.work)
        self.instances.append(instance)
        self.assertEqual(instance.next_line(), "args=" + hexed(args))
        self.assertEqual(instance.next_line(), "listening=true")
        return instance

    def second_start(self, args, image=None, debug=False, listed=True):
        started = time.monotonic()
        completed = subprocess.run([(image or self.image).exe] + list(args), stdin=subprocess.DEVNULL,
                                   capture_output=True, env=self.environment(debug=debug, listed=listed),
                                   cwd=self.documents, timeout=60)
        return completed, time.monotonic() - started

    def test_a_second_start_forwards_and_ends(self):
        first = self.first_start()
        completed, seconds = self.second_start(ARGS)
        print("forwarded start: %.3f s" % seconds, flush=True)
        self.assertEqual((completed.returncode, completed.stdout, completed.stderr), (0, b"", b""))
        self.assertLess(seconds, FORWARD_BOUND_SECONDS)
        self.assertEqual(first.next_line(), "front")
        self.assertEqual(first.next_line(), "forward cwd=%s args=%s" % (hexed([self.documents]), hexed(ARGS)))

        # The trace says that no JVM was prepared.
        completed, _ = self.second_start(["x"], debug=True)
        trace = completed.stdout.decode("utf-8", "replace") + completed.stderr.decode("utf-8", "replace")
        self.assertEqual(completed.returncode, 0, trace)
        self.assertIn("Single instance: 1 arguments forwarded to the instance (process %d)" % first.process.pid,
                      trace)
        self.assertNotIn("JVM library", trace)
        self.assertEqual(first.next_line(), "front")
        self.assertEqual(first.next_line(), "forward cwd=%s args=%s" % (hexed([self.documents]), hexed(["x"])))

    def test_another_user_has_an_instance_of_its_own(self):
        if os.geteuid() != 0 or not shutil.which("runuser"):
            self.skipTest("needs root and runuser to start the image as nobody")
        first = self.first_start()
        # runuser passes on XDG_RUNTIME_DIR: the launcher sees that the
        # directory is not nobody's and takes /tmp/vantorix-65534 instead.
        fallback = "/tmp/vantorix-65534"
        self.addCleanup(lambda: [os.unlink(os.path.join(fallback, f)) for f in os.listdir(fallback)
                                 if f.startswith("Demo")] if os.path.isdir(fallback) else None)
        other = self.first_start(ARGS, prefix=["runuser", "-u", "nobody", "--"])
        self.assertNotEqual(other.process.pid, first.process.pid)
        self.assertTrue([f for f in os.listdir(fallback) if f.startswith("Demo") and f.endswith(".sock")])
        other.kill()
        # Nothing reached the first one.
        completed, _ = self.second_start(["after"])
        self.assertEqual(completed.returncode, 0)
        self.assertEqual(first.next_line(), "front")
        self.assertEqual(first.next_line(), "forward cwd=%s args=%s" % (hexed([self.documents]), hexed(["after"])))

    def test_after_a_crash_the_next_start_becomes_the_instance(self):
        first = self.first_start()
        first.kill()
        sockets = os.listdir(os.path.join(self.runtime_dir, "vantorix"))
        self.assertTrue([s for s in sockets if s.endswith(".sock")], sockets)
        # The socket file is left behind; the next start neither waits on it
        # nor forwards. This one goes through the launcher's execv, whose
        # second image becomes the instance; a start that would restart
        # forwards before it does.
        started = time.monotonic()
        second = self.first_start(ARGS, env=self.environment(listed=False))
        print("start after the crash, to listening: %.3f s" % (time.monotonic() - started), flush=True)
        completed, _ = self.second_start(["third"], listed=False)
        self.assertEqual(completed.returncode, 0)
        self.assertEqual(second.next_line(), "front")
        self.assertEqual(second.next_line(), "forward cwd=%s args=%s" % (hexed([self.documents]), hexed(["third"])))

    def test_a_program_without_the_library_is_started_every_time(self):
        for _ in range(2):
            completed, _ = self.second_start(["a"], image=self.probe, debug=True)
            trace = completed.stdout.decode("utf-8", "replace") + completed.stderr.decode("utf-8", "replace")
            self.assertEqual(completed.returncode, 0, trace)
            self.assertIn("main=Probe", trace)
            self.assertIn("none runs, or it has not called Instances.onForward", trace)
            self.assertIn("-Dvantorix.instance-endpoint=" + os.path.join(self.runtime_dir, "vantorix"), trace)


if __name__ == "__main__":
    unittest.main()
