"""Start-to-exit time of the Linux launcher against the Java runtime's own
bin/java, with the same runtime, class path and options, for a Java program
that returns at once. Rounds run every subject once in a fresh random order
after two warm-up rounds; reported are medians with quartiles, and the ratio
is the median of the per-round ratios.

With vantorix-instances.jar beside the launcher (or --instances-jar), one
more subject: a start of an image with app.single-instance=true whose
instance is running, forwarded to it (two arguments), against the in-process
launch.

    linux_launch_bench.py --launcher build/bench-linux/bin/VantorixLauncher --work DIR [--runs N]
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "test", "e2e"))
import linux_image  # noqa: E402

PROGRAM = "public class Quick { public static void main(String[] args) { } }\n"
# The running instance of the forwarded subject: it receives and forgets.
INSTANCE_PROGRAM = """public class Resident {
  public static void main(String[] args) throws Exception {
    System.out.println("listening=" + org.vantorix.instances.Instances.onForward(f -> {}));
    System.out.flush();
    Thread.sleep(600_000);
  }
}
"""
JAVA_OPTIONS = ["-Xmx256m", "-Dbench.option=1"]


def quartiles(values):
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[0], statistics.median(values), q[2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=41)
    parser.add_argument("--instances-jar", help="default: vantorix-instances.jar beside the launcher")
    options = parser.parse_args()
    instances_jar = options.instances_jar or os.path.join(os.path.dirname(options.launcher),
                                                          "vantorix-instances.jar")

    runtime, reason = linux_image.find_runtime("x86_64")
    if runtime is None:
        sys.exit("bench: " + reason)
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    source = os.path.join(options.work, "Quick.java")
    with open(source, "w") as out:
        out.write(PROGRAM)
    classes = os.path.join(options.work, "classes")
    subprocess.run(["javac", "-d", classes, source], check=True)

    config = "[Application]\napp.classpath=$APPDIR/classes\napp.mainclass=Quick\n[JavaOptions]\n" + "".join(
        "java-options=%s\n" % option for option in JAVA_OPTIONS)
    image = linux_image.assemble(os.path.join(options.work, "image"), options.launcher, runtime, "Quick", config)
    image.add_tree(classes, os.path.join("app", "classes"))

    environment = dict(os.environ)
    for name in ("VANTORIX_DEBUG", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS", "CLASSPATH"):
        environment.pop(name, None)
    listed = dict(environment, LD_LIBRARY_PATH=image.app_dir)
    unlisted = dict(environment)
    unlisted.pop("LD_LIBRARY_PATH", None)
    # Exactly the argument list the launcher hands to the runtime.
    java_command = [os.path.join(runtime, "bin", "java"), "-classpath", os.path.join(image.app_dir, "classes")] + \
        JAVA_OPTIONS + ["-Dvantorix.app-path=" + image.exe, "Quick"]
    subjects = [
        ("runtime's bin/java", java_command, listed),
        ("launcher, in-process", [image.exe], listed),
        ("launcher, re-exec", [image.exe], unlisted),
    ]
    resident = None
    if os.path.isfile(instances_jar):
        resident, forwarded = start_resident(options.work, options.launcher, runtime, instances_jar, environment)
        subjects.append(("launcher, forwarded", forwarded, dict(resident.args_env)))
    else:
        print("no %s: the forwarded start is not measured" % instances_jar)
    try:
        run_rounds(options, runtime, subjects)
    finally:
        if resident:
            resident.kill()
            resident.wait()


def start_resident(work, launcher, runtime, instances_jar, environment):
    """Starts the single-instance image's first start; the command of a
    forwarded start and the running process."""
    source = os.path.join(work, "Resident.java")
    with open(source, "w") as out:
        out.write(INSTANCE_PROGRAM)
    classes = os.path.join(work, "resident-classes")
    subprocess.run(["javac", "-d", classes, "-cp", instances_jar, source], check=True)
    config = ("[Application]\napp.classpath=$APPDIR/classes\napp.classpath=$APPDIR/vantorix-instances.jar\n"
              "app.mainclass=Resident\napp.single-instance=true\n")
    image = linux_image.assemble(os.path.join(work, "resident"), launcher, runtime, "Resident", config)
    image.add_tree(classes, os.path.join("app", "classes"))
    image.add_tree(instances_jar, os.path.join("app", "vantorix-instances.jar"))
    runtime_dir = os.path.join(work, "xdg")
    os.makedirs(runtime_dir, mode=0o700)
    env = dict(environment, LD_LIBRARY_PATH=image.app_dir, XDG_RUNTIME_DIR=runtime_dir)
    process = subprocess.Popen([image.exe], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    line = process.stdout.readline().decode().strip()
    if line != "listening=true":
        process.kill()
        sys.exit("bench: the resident instance printed %r" % line)
    process.args_env = env
    return process, [image.exe, "report one.txt", "Grüße.txt"]


def run_rounds(options, runtime, subjects):
    times = {label: [] for label, _, _ in subjects}
    for round_number in range(options.runs + 2):
        order = list(subjects)
        random.shuffle(order)
        for label, command, env in order:
            start = time.perf_counter_ns()
            completed = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.PIPE)
            elapsed = (time.perf_counter_ns() - start) / 1e6
            if completed.returncode != 0:
                sys.exit("bench: %s exited with %d: %s" % (label, completed.returncode, completed.stderr.decode()))
            if round_number >= 2:
                times[label].append(elapsed)

    baseline = times[subjects[0][0]]
    print("runtime: Java %s, x86_64, %d rounds" % (release_version(runtime), options.runs))
    print("%-24s %24s %12s" % ("", "start to exit, ms", "x bin/java"))
    for label, _, _ in subjects:
        low, median, high = quartiles(times[label])
        ratios = [a / b for a, b in zip(times[label], baseline)]
        print("%-24s %7.1f [%6.1f-%6.1f] %11.3fx" % (label, median, low, high, statistics.median(ratios)))
    ratio = statistics.median([a / b for a, b in zip(times["launcher, in-process"], baseline)])
    print("in-process / bin/java: %.3fx    target <= 1.02x: %s" % (ratio, "MET" if ratio <= 1.02 else "MISSED"))
    if "launcher, forwarded" in times:
        forwarded = statistics.median([a / b for a, b in zip(times["launcher, forwarded"],
                                                             times["launcher, in-process"])])
        print("forwarded / in-process: %.3fx" % forwarded)


def release_version(runtime):
    try:
        with open(os.path.join(runtime, "release")) as f:
            for line in f:
                if line.startswith("JAVA_VERSION="):
                    return line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return "?"


if __name__ == "__main__":
    main()
