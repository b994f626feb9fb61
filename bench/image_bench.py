"""Start-to-exit time of an application image that the image tool made
(a jlink runtime with its class-data archive) against `java -cp` on the full
JDK and against the same jlink runtime without its archive, for a program
that uses several JDK modules (bench/image/BenchApp.java). Rounds run every
subject once in a fresh random order after two warm-up rounds; reported are
medians with quartiles, the median of the per-round ratios to the full JDK,
and the sizes on disk.

    image_bench.py --launcher build/bench-linux/bin/VantorixLauncher \\
        --tool build/bench-linux/bin/vantorix-image.jar --work DIR [--runs N]
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "test", "e2e"))
import linux_image  # noqa: E402
from linux_launch_bench import quartiles, release_version  # noqa: E402

GOAL = 0.95


def size_of(path):
    """Bytes of the regular files below path, links followed (a JDK's files
    may be links into /etc and /usr/share)."""
    total = 0
    for directory, _, names in os.walk(path, followlinks=True):
        for name in names:
            full = os.path.join(directory, name)
            if os.path.isfile(full):
                total += os.path.getsize(full)
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=21)
    options = parser.parse_args()

    runtime, reason = linux_image.find_runtime("x86_64")
    if runtime is None:
        sys.exit("bench: " + reason)
    work = os.path.abspath(options.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "input"))
    classes = os.path.join(work, "classes")
    subprocess.run(["javac", "-d", classes, os.path.join(here, "image", "BenchApp.java")], check=True)
    jar = os.path.join(work, "input", "bench.jar")
    subprocess.run(["jar", "--create", "--file", jar, "--main-class", "BenchApp", "-C", classes, "."], check=True)

    image = os.path.join(work, "Bench")
    made = subprocess.run(["java", "-jar", options.tool, "--name", "Bench", "--input", os.path.join(work, "input"),
                           "--main-jar", "bench.jar", "--no-fast-start",
                           "--launchers", os.path.dirname(os.path.abspath(options.launcher)), "--output", image],
                          capture_output=True, text=True)
    if made.returncode != 0:
        sys.exit("bench: the image tool failed: " + made.stderr)
    # The summary lists each module as "vantorix-image:   NAME: REASON".
    modules = [line.split(":")[1].strip() for line in made.stdout.splitlines()
               if line.startswith("vantorix-image:   ")]
    # The same image without the runtime's class-data archive.
    bare = os.path.join(work, "Bench-no-archive")
    shutil.copytree(image, bare, symlinks=True)
    server = os.path.join(bare, "runtime", "lib", "server")
    for name in os.listdir(server):
        if name.endswith(".jsa"):
            os.remove(os.path.join(server, name))

    environment = dict(os.environ)
    for name in ("VANTORIX_DEBUG", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH",
                 "LD_LIBRARY_PATH"):
        environment.pop(name, None)
    subjects = [
        ("java -cp, full JDK", [os.path.join(runtime, "bin", "java"), "-cp", jar, "BenchApp"]),
        ("image, jlink + archive", [os.path.join(image, "Bench")]),
        ("image, jlink, no archive", [os.path.join(bare, "Bench")]),
    ]
    times = {label: [] for label, _ in subjects}
    for round_number in range(options.runs + 2):
        order = list(subjects)
        random.shuffle(order)
        for label, command in order:
            start = time.perf_counter_ns()
            completed = subprocess.run(command, env=environment, stdin=subprocess.DEVNULL, capture_output=True)
            elapsed = (time.perf_counter_ns() - start) / 1e6
            if completed.returncode != 0 or not completed.stdout.startswith(b"items=50 "):
                sys.exit("bench: %s failed (%d): %s" % (label, completed.returncode, completed.stderr.decode()))
            if round_number >= 2:
                times[label].append(elapsed)

    baseline = times[subjects[0][0]]
    print("runtime: Java %s, x86_64, %d rounds; %s" % (release_version(runtime), options.runs,
                                                        "modules: " + (", ".join(modules) or "?")))
    print("%-26s %24s %12s" % ("", "start to exit, ms", "x full JDK"))
    for label, _ in subjects:
        low, median, high = quartiles(times[label])
        ratios = [a / b for a, b in zip(times[label], baseline)]
        print("%-26s %7.1f [%6.1f-%6.1f] %11.3fx" % (label, median, low, high, statistics.median(ratios)))
    ratio = statistics.median([a / b for a, b in zip(times["image, jlink + archive"], baseline)])
    print("image / full JDK: %.3fx    goal <= %.2fx: %s" % (ratio, GOAL, "MET" if ratio <= GOAL else "MISSED"))
    image_size, runtime_size, jdk_size = size_of(image), size_of(os.path.join(image, "runtime")), size_of(runtime)
    print("sizes: image %.1f MB (runtime %.1f MB), the full JDK %.1f MB: %.2fx" % (
        image_size / 2 ** 20, runtime_size / 2 ** 20, jdk_size / 2 ** 20, image_size / jdk_size))


if __name__ == "__main__":
    main()
