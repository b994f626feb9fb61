"""End-to-end tests of the class-data cache ("app.fast-start=true") with
the real Java runtimes: Java 17 (found from the installed `java`) and a
newer one (25 or later) under /usr/lib/jvm, found by its `release` file.
A runtime that is not there skips its tests and says why.

Each test gets its own cache directory (XDG_CACHE_HOME). Whether a launch
ran from the archive is read from the runtime's own class-loading log,
which the test images ask for in their JVM options (to a file, so that the
application's output stays as it is).

    test_fast_start.py [-v] Java17Test|NewerJavaTest

From the environment: VX_E2E_LINUX_LAUNCHER, the launcher; VX_E2E_ARCH;
VX_E2E_SANITIZED, set when the launcher carries AddressSanitizer.
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
import linux_image  # noqa: E402

SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "java")
ARCH = os.environ.get("VX_E2E_ARCH", "x86_64")
PROBE_KEYS = ["main", "argc", "app-path", "value", "max-memory", "security-manager", "pid", "ld", "restart-mark", "runtime-restart-mark"]
FROM_ARCHIVE = re.compile(r"\bProbe source: shared objects file")
NOBODY = 65534


def feature_version(runtime):
    try:
        with open(os.path.join(runtime, "release"), encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return 0
    found = re.search(r'^JAVA_VERSION="(?:1\.)?(\d+)', text, re.M)
    return int(found.group(1)) if found else 0


def newer_runtime():
    """(runtime, None) for a Java runtime of version 25 or later under
    /usr/lib/jvm for this architecture, or (None, reason)."""
    for release in sorted(glob.glob("/usr/lib/jvm/*/release")):
        runtime = os.path.dirname(release)
        if os.path.islink(runtime):
            continue
        if feature_version(runtime) >= 25 and \
                linux_image.elf_arch(os.path.join(runtime, "lib", "libjli.so")) == ARCH:
            return runtime, None
    return None, "no Java runtime of version 25 or later for %s under /usr/lib/jvm" % ARCH


def fnv1a(text):
    value = 14695981039346656037
    for byte in text.encode("utf-8"):
        value = ((value ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % value


work_root = None
probe_jar = None


def setUpModule():
    global work_root, probe_jar
    work_root = tempfile.mkdtemp(prefix="vx-fast-start-")
    # Readable by the unprivileged user of the read-only test.
    os.chmod(work_root, 0o755)
    classes = os.path.join(work_root, "classes")
    probe_jar = os.path.join(work_root, "probe.jar")
    for command in (["javac", "--release", "17", "-d", classes] + [os.path.join(SOURCES, name) for name in ("Probe.java", "Native.java")],
                    ["jar", "--create", "--file", probe_jar, "-C", classes, "."]):
        subprocess.run(command, check=True, capture_output=True)


def tearDownModule():
    if work_root:
        shutil.rmtree(work_root, ignore_errors=True)


class FastStartCase:
    RUNTIME = None
    SKIP_REASON = None

    def setUp(self):
        if self.RUNTIME is None:
            print("SKIPPED: " + self.SKIP_REASON, flush=True)
            self.skipTest(self.SKIP_REASON)
        self.work = tempfile.mkdtemp(prefix="case-", dir=work_root)
        os.chmod(self.work, 0o755)
        self.addCleanup(shutil.rmtree, self.work, True)
        self.cache_home = os.path.join(self.work, "cache")
        self.cache = os.path.join(self.cache_home, "Demo")

    def image(self, directory="img", java_options=()):
        root = os.path.join(self.work, directory)
        logs = os.path.join(self.work, "logs")
        if not os.path.isdir(logs):
            # The runtime also writes there as the unprivileged user.
            os.makedirs(logs)
            os.chmod(logs, 0o777)
        # One log per process (%p): the background creation of a newer
        # runtime's cache has the same options and would write the same file.
        log = os.path.join(logs, directory + "-classes-%p.log")
        options = ["-Xlog:class+load=info:file=" + log] + list(java_options)
        config = ("[Application]\napp.classpath=$APPDIR/probe.jar\napp.mainclass=Probe\napp.fast-start=true\n"
                  "[JavaOptions]\n" + "".join("java-options=%s\n" % o for o in options))
        image = linux_image.assemble(root, os.environ["VX_E2E_LINUX_LAUNCHER"], self.RUNTIME, "Demo", config)
        image.add_tree(probe_jar, os.path.join("app", "probe.jar"))
        image.class_log = log
        return image

    def environment(self, image, debug=False, cache_home=None):
        env = dict(os.environ)
        for name in ("VANTORIX_DEBUG", "VANTORIX_RESTARTED", "VANTORIX_RUNTIME_RESTART", "JAVA_TOOL_OPTIONS",
                     "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
            env.pop(name, None)
        env.update(LC_ALL="C.UTF-8", LD_LIBRARY_PATH=image.app_dir,
                   XDG_CACHE_HOME=cache_home or self.cache_home)
        if os.environ.get("VX_E2E_SANITIZED"):
            env["ASAN_OPTIONS"] = "detect_leaks=0"
        if debug:
            env["VANTORIX_DEBUG"] = "true"
        return env

    def start(self, image, debug=False, cache_home=None, user=None):
        return subprocess.Popen([image.exe], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.environment(image, debug, cache_home),
                                user=user)

    def run_image(self, image, **kwargs):
        process = self.start(image, **kwargs)
        stdout, stderr = process.communicate(timeout=180)
        # The launcher runs the runtime in its own process.
        image.last_pid = process.pid
        return process.returncode, stdout.decode("utf-8", "replace"), stderr.decode("utf-8", "replace")

    def assertQuiet(self, result):
        """Exit code 0, nothing on standard error, and standard output is
        exactly the application's lines."""
        code, stdout, stderr = result
        self.assertEqual((code, stderr), (0, ""), stdout)
        self.assertEqual([line.partition("=")[0] for line in stdout.splitlines()], PROBE_KEYS, stdout)

    def ran_from_archive(self, image):
        """Whether the last run of the image loaded Probe from an archive."""
        with open(image.class_log.replace("%p", str(image.last_pid)), encoding="utf-8", errors="replace") as f:
            return FROM_ARCHIVE.search(f.read()) is not None

    def wait_for_background(self):
        """Until no background creation is under way (its marker is gone)."""
        deadline = time.monotonic() + 300
        while glob.glob(os.path.join(self.cache, "*.creating")):
            if time.monotonic() > deadline:
                self.fail("the background creation did not end")
            time.sleep(0.2)

    def warm(self, image):
        """Launches until a launch runs from the archive, each one quiet;
        returns how many launches that took."""
        for launch in range(1, 5):
            self.assertQuiet(self.run_image(image))
            if self.ran_from_archive(image):
                return launch
            self.wait_for_background()
        self.fail("no launch ran from the archive")

    def archive(self, image):
        return os.path.join(self.cache, fnv1a("image=" + image.root) + ".jsa")

    def test_later_launches_run_from_the_archive(self):
        image = self.image()
        launches = self.warm(image)
        # The first launch lists its classes; the archive is made from the
        # list after its exit, in the background.
        self.assertEqual(launches, 2)
        self.assertTrue(os.path.isfile(self.archive(image)))
        self.assertQuiet(self.run_image(image))
        self.assertTrue(self.ran_from_archive(image))

    def test_stale_archives_are_made_again(self):
        def move(image):
            moved = os.path.join(self.work, "moved")
            os.rename(image.root, moved)
            image.root, image.exe, image.app_dir = moved, os.path.join(moved, "Demo"), os.path.join(moved, "app")

        def change_jar(image):
            with open(os.path.join(image.app_dir, "probe.jar"), "ab") as jar:
                jar.write(b"\0")

        def truncate_archive(image):
            with open(self.archive(image), "r+b") as archive:
                archive.truncate(os.path.getsize(self.archive(image)) // 2)

        def overwrite_archive(image):
            with open(self.archive(image), "r+b") as archive:
                archive.seek(4096)
                archive.write(os.urandom(65536))

        cases = [("moved image", move), ("changed jar", change_jar),
                 ("truncated archive", truncate_archive), ("overwritten archive", overwrite_archive)]
        for label, change in cases:
            with self.subTest(label):
                image = self.image(label.replace(" ", "-"))
                self.warm(image)
                os.chmod(self.archive(image), 0o644)
                change(image)
                self.assertQuiet(self.run_image(image))
                self.assertFalse(self.ran_from_archive(image))
                self.warm(image)

    def test_unwritable_cache_directory_changes_nothing(self):
        blocker = os.path.join(self.work, "a-file")
        with open(blocker, "w"):
            pass
        read_only = os.path.join(self.work, "read-only")
        os.makedirs(os.path.join(read_only, "Demo"))
        os.chmod(os.path.join(read_only, "Demo"), 0o555)
        # The superuser writes into read-only directories: someone else runs it.
        user = NOBODY if os.geteuid() == 0 else None
        cases = [("cache home is a file", blocker, None), ("read-only directory", read_only, user)]
        image = self.image()
        for label, cache_home, as_user in cases:
            with self.subTest(label):
                for _ in range(2):
                    self.assertQuiet(self.run_image(image, cache_home=cache_home, user=as_user))
                    self.assertFalse(self.ran_from_archive(image))
                code, _, trace = self.run_image(image, cache_home=cache_home, user=as_user, debug=True)
                self.assertEqual(code, 0)
                self.assertRegex(trace, r"Class-data cache: off, ")
        self.assertEqual(os.listdir(os.path.join(read_only, "Demo")), [])

    def cache_files(self):
        return sorted(os.listdir(self.cache)) if os.path.isdir(self.cache) else []

    def test_a_cache_directory_that_is_not_the_users_alone_is_not_used(self):
        # Made beforehand by someone else, or open to others: whoever can
        # write there could hand this user's runtime an archive of theirs.
        def another_users(directory):
            if os.geteuid() != 0:
                return False
            os.chown(directory, NOBODY, NOBODY)
            os.chmod(directory, 0o755)
            return True

        def open_to_others(directory):
            os.chmod(directory, 0o777)
            return True

        def a_link(directory):
            target = directory + "-target"
            os.makedirs(target, mode=0o700)
            os.rmdir(directory)
            os.symlink(target, directory)
            return True

        image = self.image()
        for label, prepare in [("another user's", another_users), ("writable by others", open_to_others),
                               ("a link", a_link)]:
            with self.subTest(label):
                home = os.path.join(self.work, label.replace(" ", "-").replace("'", ""))
                directory = os.path.join(home, "Demo")
                os.makedirs(directory, mode=0o700)
                if not prepare(directory):
                    continue
                for _ in range(2):
                    self.assertQuiet(self.run_image(image, cache_home=home))
                    self.assertFalse(self.ran_from_archive(image))
                code, _, trace = self.run_image(image, cache_home=home, debug=True)
                self.assertEqual(code, 0)
                self.assertRegex(trace, r"Class-data cache: off, \"%s\" " % re.escape(directory))
                self.assertEqual(os.listdir(os.path.realpath(directory)), [])

    def test_a_list_separator_in_the_cache_path_turns_the_cache_off(self):
        image = self.image()
        home = os.path.join(self.work, "a:b")
        for _ in range(2):
            self.assertQuiet(self.run_image(image, cache_home=home))
        code, _, trace = self.run_image(image, cache_home=home, debug=True)
        self.assertEqual(code, 0)
        self.assertIn("contains ':', which separates the runtime's archive paths", trace)
        self.assertEqual(os.listdir(os.path.join(home, "Demo")), [])

    def test_planted_links_leave_their_targets_untouched(self):
        # Links at every name a temporary file of the next few hundred
        # processes could have had, all to one file of the user's.
        image = self.image()
        os.makedirs(self.cache, mode=0o700)
        target = os.path.join(self.work, "precious")
        with open(target, "w") as f:
            f.write("precious\n")
        slot = fnv1a("image=" + image.root)
        with open("/proc/sys/kernel/ns_last_pid") as f:
            last = int(f.read())
        for pid in range(last + 1, last + 400):
            # Not the runtime's own output: a link there would only turn
            # the cache off.
            for name in ("%s.jsa.stamp.%d.tmp", "%s.aot.stamp.%d.tmp", "%s.aotconf.stamp.%d.tmp",
                         "%s.classlist.stamp.%d.tmp", "%s.failed.%d.tmp"):
                os.symlink(target, os.path.join(self.cache, name % (slot, pid)))
        for _ in range(3):
            self.assertQuiet(self.run_image(image))
            self.wait_for_background()
        with open(target) as f:
            self.assertEqual(f.read(), "precious\n")

    def test_an_archive_that_is_not_the_users_alone_is_not_used(self):
        def another_users(path):
            if os.geteuid() != 0:
                return False
            os.chown(path, NOBODY, NOBODY)
            return True

        def writable_by_the_group(path):
            os.chmod(path, 0o664)
            return True

        for label, change in [("another user's", another_users), ("writable by the group", writable_by_the_group)]:
            with self.subTest(label):
                image = self.image(label.replace(" ", "-").replace("'", ""))
                self.warm(image)
                self.wait_for_background()
                # Size and time stay as they were: only owner and mode tell.
                if not change(self.archive(image)):
                    continue
                code, _, trace = self.run_image(image, debug=True)
                self.assertEqual(code, 0)
                self.assertFalse(self.ran_from_archive(image))
                self.assertIn("Class-data cache: not used, \"%s\"" % self.archive(image), trace)
                self.wait_for_background()

    def test_unused_entries_of_images_that_are_gone_are_removed(self):
        # Planted beside the image's own slot: other images' entries, each
        # with its files' times set back.
        os.makedirs(self.cache, mode=0o700)
        week = 7 * 24 * 3600
        old, recent = time.time() - week - 3600, time.time() - week + 3600
        present = os.path.join(self.work, "present-exe")
        with open(present, "w"):
            pass

        def plant(slot, image, when, suffixes=(".jsa", ".jsa.stamp", ".classlist", ".classlist.stamp")):
            names = []
            if image is not None:
                with open(os.path.join(self.cache, slot + ".image"), "w") as f:
                    f.write(image)
                names.append(slot + ".image")
            for suffix in suffixes:
                with open(os.path.join(self.cache, slot + suffix), "w") as f:
                    f.write("x")
                names.append(slot + suffix)
            for name in names:
                os.utime(os.path.join(self.cache, name), (when, when))
            return names

        gone_unused = plant("%016x" % 1, "/nowhere/Demo", old)
        gone_recent = plant("%016x" % 2, "/nowhere/Demo", recent)
        present_unused = plant("%016x" % 3, present, old)
        older_launcher = plant("%016x" % 4, None, old, (".aot", ".aot.stamp", ".aotconf", ".failed"))
        older_recent = plant("%016x" % 5, None, recent, (".jsa",))
        image = self.image()
        self.warm(image)
        self.wait_for_background()
        names = set(self.cache_files())
        for kept in (gone_recent, present_unused, older_recent):
            self.assertTrue(set(kept) <= names, kept)
        for removed in (gone_unused, older_launcher):
            self.assertFalse(set(removed) & names, removed)
        self.assertIn(fnv1a("image=" + image.root) + ".jsa", names)

    def test_concurrent_first_launches(self):
        image = self.image()
        processes = [self.start(image) for _ in range(4)]
        for process in processes:
            stdout, stderr = process.communicate(timeout=300)
            self.assertQuiet((process.returncode, stdout.decode(), stderr.decode()))
        self.wait_for_background()
        self.warm(image)
        self.wait_for_background()
        self.assertEqual([name for name in os.listdir(self.cache) if name.endswith(".tmp")], [])

    def test_packagers_sharing_option_wins(self):
        image = self.image(java_options=["-Xshare:off"])
        for _ in range(3):
            self.assertQuiet(self.run_image(image))
        self.assertFalse(self.ran_from_archive(image))
        self.assertFalse(os.path.exists(self.cache))
        _, _, trace = self.run_image(image, debug=True)
        self.assertIn("Class-data cache: off, the JVM options already choose class-data sharing", trace)

    def test_trace_and_failure_marker(self):
        image = self.image()
        _, _, trace = self.run_image(image, debug=True)
        version = feature_version(self.RUNTIME)
        self.assertIn("Java runtime feature version %d" % version, trace)
        key = re.search(r"Class-data cache: key ([0-9a-f]{16}), archive \"%s\"" %
                        re.escape(self.archive(image)), trace).group(1)
        self.assertIn("Class-data cache: miss: ", trace)
        # A marker that names the key stops every attempt; a new key tries again.
        self.wait_for_background()
        for name in os.listdir(self.cache):
            os.remove(os.path.join(self.cache, name))
        marker = os.path.join(self.cache, fnv1a("image=" + image.root) + ".failed")
        with open(marker, "w") as f:
            f.write(key)
        _, _, trace = self.run_image(image, debug=True)
        self.assertIn("failure marker \"%s\" names this key" % marker, trace)
        self.assertNotRegex(trace, r"jli arg\[\d+\]: \[-XX:(DumpLoadedClassList|SharedArchiveFile)")
        self.assertEqual(sorted(os.listdir(self.cache)), [os.path.basename(marker)])
        with open(os.path.join(image.app_dir, "probe.jar"), "ab") as jar:
            jar.write(b"\0")
        _, _, trace = self.run_image(image, debug=True)
        self.assertIn("Class-data cache: miss: ", trace)
        self.wait_for_background()


JAVA17, JAVA17_SKIP = linux_image.find_runtime(ARCH)
if JAVA17 is not None and feature_version(JAVA17) != 17:
    JAVA17, JAVA17_SKIP = None, "the installed java is not Java 17"
NEWER, NEWER_SKIP = newer_runtime()


class Java17Test(FastStartCase, unittest.TestCase):
    RUNTIME, SKIP_REASON = JAVA17, JAVA17_SKIP


class NewerJavaTest(FastStartCase, unittest.TestCase):
    RUNTIME, SKIP_REASON = NEWER, NEWER_SKIP


if __name__ == "__main__":
    unittest.main()
