"""Start-to-end time of an application image with the class-data cache
(app.fast-start=true) against `java -cp` on the same runtime, for a sample
that loads some 1,800 classes (it prints the count), with Java 17 and with
a newer runtime (25 or later) under /usr/lib/jvm where there is one.

Subjects, each run once per round in a fresh random order after two
warm-up rounds:
  java -cp        the runtime's own bin/java, no archive of the application;
  warm cache      the launcher with the cache made beforehand;
  hand-made static  bin/java with a static archive made by hand from a class
                  list of the same program (-XX:DumpLoadedClassList, then
                  -Xshare:dump): the ceiling of the launcher's design;
  hand-made dynamic / AOT  bin/java with the archive of the further step
                  (Java 17: -XX:ArchiveClassesAtExit; newer:
                  -XX:AOTCacheOutput), which needs a recording run of the
                  application itself;
  first, second, third launch  one sequence with a fresh cache: the first
                  launch lists the classes and starts the background
                  creation at its exit, the second and third follow at once,
                  while the creation runs. After the third the bench waits
                  (untimed) for the creation to end, so that it never runs
                  beside another subject.
Reported are medians with quartiles; ratios are medians of the per-round
ratios against java -cp. Also given: how long the background creation
took (from the first launch's end to the archive in place) and the cache's
size on disk.

    fast_start_bench.py --launcher build/bench-linux/bin/VantorixLauncher --work DIR [--runs N]
"""

import argparse
import glob
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "test", "e2e"))
import linux_image  # noqa: E402
from linux_launch_bench import quartiles  # noqa: E402

SOURCE = os.path.join(HERE, "java", "FastStartSample.java")


def feature_version(runtime):
    try:
        with open(os.path.join(runtime, "release"), encoding="utf-8", errors="replace") as f:
            found = re.search(r'^JAVA_VERSION="(?:1\.)?(\d+)', f.read(), re.M)
    except OSError:
        return 0
    return int(found.group(1)) if found else 0


def runtimes():
    """[(label, runtime or None, reason)] for Java 17 and the newer one."""
    java17, reason = linux_image.find_runtime("x86_64")
    found = [("Java 17", java17, reason)]
    newer = None
    for release in sorted(glob.glob("/usr/lib/jvm/*/release")):
        runtime = os.path.dirname(release)
        if not os.path.islink(runtime) and feature_version(runtime) >= 25:
            newer = runtime
            break
    found.append(("Java %d" % feature_version(newer) if newer else "newer Java", newer,
                  None if newer else "no Java runtime of version 25 or later under /usr/lib/jvm"))
    return found


to_main = {}


def timed(command, env, expect_classes=False, subject=None):
    start = time.perf_counter()
    completed = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if completed.returncode != 0 or completed.stderr or b"checksum=210" not in completed.stdout:
        sys.exit("bench: %s failed (%d):\n%s%s" % (" ".join(command), completed.returncode,
                                                     completed.stdout.decode(), completed.stderr.decode()))
    if subject:
        to_main.setdefault(subject, []).append(int(re.search(rb"to-main-ms=(-?\d+)", completed.stdout).group(1)))
    if expect_classes:
        return elapsed, int(re.search(rb"classes=(\d+)", completed.stdout).group(1))
    return elapsed


def creation_running(cache):
    return bool(glob.glob(os.path.join(cache, "*.creating")))


def wait_for_creation(cache, timeout=600):
    deadline = time.monotonic() + timeout
    while creation_running(cache):
        if time.monotonic() > deadline:
            sys.exit("bench: the background creation did not end")
        time.sleep(0.02)


def size_on_disk(directory):
    total = 0
    for name in os.listdir(directory):
        info = os.stat(os.path.join(directory, name))
        total += info.st_blocks * 512
    return total


def bench_runtime(label, runtime, launcher, work, runs):
    newer = feature_version(runtime) >= 25
    work = os.path.join(work, label.replace(" ", ""))
    os.makedirs(work)
    classes = os.path.join(work, "classes")
    subprocess.run([os.path.join(runtime, "bin", "javac"), "-d", classes, SOURCE], check=True)
    jar = os.path.join(work, "sample.jar")
    subprocess.run([os.path.join(runtime, "bin", "jar"), "--create", "--file", jar, "-C", classes, "."], check=True)
    config = "[Application]\napp.classpath=$APPDIR/sample.jar\napp.mainclass=FastStartSample\napp.fast-start=true\n"
    image = linux_image.assemble(os.path.join(work, "image"), launcher, runtime, "Sample", config)
    image.add_tree(jar, os.path.join("app", "sample.jar"))

    environment = dict(os.environ)
    for name in ("VANTORIX_DEBUG", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
        environment.pop(name, None)
    java = os.path.join(runtime, "bin", "java")
    plain = [java, "-cp", jar, "FastStartSample"]

    def run_quietly(command):
        subprocess.run(command, env=environment, check=True, capture_output=True)

    # The hand-made archives: the design's ceiling, and the further step.
    class_list = os.path.join(work, "hand.classlist")
    static = os.path.join(work, "hand-static.jsa")
    run_quietly([java, "-XX:DumpLoadedClassList=" + class_list, "-cp", jar, "FastStartSample"])
    run_quietly([java, "-Xshare:dump", "-XX:SharedClassListFile=" + class_list, "-XX:SharedArchiveFile=" + static,
                 "-cp", jar])
    by_hand_static = [java, "-XX:SharedArchiveFile=" + static, "-cp", jar, "FastStartSample"]
    further = os.path.join(work, "hand" + (".aot" if newer else "-dynamic.jsa"))
    if newer:
        run_quietly([java, "-XX:AOTCacheOutput=" + further, "-cp", jar, "FastStartSample"])
        by_hand_further = [java, "-XX:AOTCache=" + further, "-cp", jar, "FastStartSample"]
        further_label = "hand-made AOT"
    else:
        run_quietly([java, "-XX:ArchiveClassesAtExit=" + further, "-cp", jar, "FastStartSample"])
        by_hand_further = [java, "-XX:SharedArchiveFile=" + further, "-cp", jar, "FastStartSample"]
        further_label = "hand-made dynamic"

    warm_home = os.path.join(work, "warm-cache")
    cold_home = os.path.join(work, "cold-cache")
    warm_env = dict(environment, LD_LIBRARY_PATH=image.app_dir, XDG_CACHE_HOME=warm_home)
    cold_env = dict(environment, LD_LIBRARY_PATH=image.app_dir, XDG_CACHE_HOME=cold_home)
    warm_cache = os.path.join(warm_home, "Sample")
    cold_cache = os.path.join(cold_home, "Sample")

    # Makes the warm cache: launches until the archive is there.
    creation_times = []
    for _ in range(4):
        timed([image.exe], warm_env)
        ended = time.perf_counter()
        if creation_running(warm_cache):
            wait_for_creation(warm_cache)
            creation_times.append(time.perf_counter() - ended)
        if glob.glob(os.path.join(warm_cache, "*.jsa")):
            break
    cache_bytes = size_on_disk(warm_cache)

    times = {name: [] for name in ("java -cp", "warm cache", "hand-made static", further_label,
                                   "first launch", "second launch", "third launch")}
    during_creation = []

    def fresh_sequence():
        shutil.rmtree(cold_home, ignore_errors=True)
        results = [("first launch", timed([image.exe], cold_env, subject="first launch"))]
        first_ended = time.perf_counter()
        for name in ("second launch", "third launch"):
            running = creation_running(cold_cache)
            results.append((name, timed([image.exe], cold_env)))
            during_creation.append(running)
        wait_for_creation(cold_cache)
        creation_times.append(time.perf_counter() - first_ended)
        return results

    subjects = {
        "java -cp": lambda: [("java -cp", timed(plain, environment, subject="java -cp"))],
        "warm cache": lambda: [("warm cache", timed([image.exe], warm_env))],
        "hand-made static": lambda: [("hand-made static", timed(by_hand_static, environment))],
        further_label: lambda: [(further_label, timed(by_hand_further, environment))],
        "fresh": fresh_sequence,
    }
    _, loaded = timed(plain, environment, expect_classes=True)
    _, loaded_warm = timed([image.exe], warm_env, expect_classes=True)
    for round_number in range(runs + 2):
        order = list(subjects)
        random.shuffle(order)
        for name in order:
            for subject, elapsed in subjects[name]():
                if round_number >= 2:
                    times[subject].append(elapsed)

    print("--- %s (%s), %d rounds; the sample loads %d classes (%d with the warm cache)" % (
        label, runtime, runs, loaded, loaded_warm))
    base = times["java -cp"]
    for name in times:
        low, median, high = quartiles(times[name])
        ratio = statistics.median(t / b for t, b in zip(times[name], base))
        print("%-18s median %7.1f ms  (quartiles %7.1f .. %7.1f)  ratio %.2fx" % (
            name, median * 1000, low * 1000, high * 1000, ratio))
    extra = statistics.median(t - b for t, b in zip(times["first launch"], base))
    print("first launch costs %+.1f ms against java -cp (median of the per-round differences)" % (extra * 1000))
    print("second and third launches with the creation still running: %d of %d" % (
        sum(during_creation), len(during_creation)))
    for name in ("second launch", "third launch"):
        worst = max(t / b for t, b in zip(times[name], base))
        print("%s / java -cp: highest per-round ratio %.2fx" % (name, worst))
    print("time to main (process start to main, 10 ms steps): java -cp %d ms, first launch %d ms (medians)" % (
        statistics.median(to_main.pop("java -cp")), statistics.median(to_main.pop("first launch"))))
    print("background creation, from the first launch's end to the archive in place: median %.0f ms" % (
        statistics.median(creation_times) * 1000))
    print("cache on disk: %.1f MB (%s)" % (cache_bytes / 1e6, ", ".join(sorted(os.listdir(warm_cache)))))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=21)
    options = parser.parse_args()
    # The cache directories must be absolute to count.
    options.work = os.path.abspath(options.work)
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    for label, runtime, reason in runtimes():
        if runtime is None:
            print("--- %s: SKIPPED: %s" % (label, reason))
            continue
        bench_runtime(label, runtime, os.path.abspath(options.launcher), options.work, options.runs)


if __name__ == "__main__":
    main()
