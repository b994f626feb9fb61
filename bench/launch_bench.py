#!/usr/bin/env python3
"""Launch benchmark: start-up cost, restart cost, scaling and footprint of
the launcher under Wine, against a baseline executable that only loads the
runtime's jli.dll and calls its entry. scripts/bench.sh builds what this
needs and runs it. By hand:

  launch_bench.py --launcher VantorixLauncher.exe --baseline Baseline.exe \
      --baseline-ui BaselineSystemUi.exe --stub jli.dll --work DIR \
      [--runs N] [--also LABEL=EXE ...] [--also-restart LABEL=EXE ...] [--json FILE]

Wine must be set up already: VX_WINE names the wine64 loader, WINEPREFIX
the prefix, and that prefix's server must be running (cmake/wine-run.sh and
cmake/wine-env.sh start it). Every timed start execs the loader directly, so
no shell or wrapper start-up is counted.

Each run takes the host clock just before the process is spawned; the stub
entry writes the Windows clock (the same clock under Wine) when it is
called, so "to entry" is process start to the runtime's entry and "to exit"
is process start to the end of the process as waitpid sees it. All
subjects run once per round, in a new random order each round, so that a
change of machine load hits them all alike; figures are medians over the
rounds, and differences are medians of per-round differences.
"""

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

APP_NAME = "Orbit"

# A small, realistic config: class path, main class, JVM options with
# macros, default arguments.
CONFIG_HEAD = """\
[Application]
app.version=2.4.1
app.classpath=$APPDIR\\orbit.jar
app.classpath=$APPDIR\\lib\\orbit-core.jar
app.classpath=$APPDIR\\lib\\orbit-ui.jar
app.classpath=$APPDIR\\lib\\json.jar
app.mainclass=com.example.orbit.Main
"""
REALISTIC_OPTIONS = [
    "-Xms64m",
    "-Xmx1g",
    "-Xss2m",
    "-XX:+UseG1GC",
    "-Dfile.encoding=UTF-8",
    "-Djava.library.path=$APPDIR\\native",
    "-Dorbit.home=$ROOTDIR",
    "-Dorbit.bin=$BINDIR",
    "--add-opens=java.base/java.lang=ALL-UNNAMED",
    "--enable-native-access=ALL-UNNAMED",
]
CONFIG_TAIL = """\
[ArgOptions]
arguments=--profile
arguments=default
"""

CONFIG_LINES = [10, 1000, 10000, 100000]
ARGUMENT_COUNTS = [0, 3000, 10000]


def config_text(option_lines):
    options = list(REALISTIC_OPTIONS[:option_lines])
    for i in range(len(options), option_lines):
        options.append(f"-Dorbit.option.{i}=$APPDIR\\conf\\option-{i}.properties")
    body = "".join(f"java-options={o}\n" for o in options)
    return CONFIG_HEAD + "[JavaOptions]\n" + body + CONFIG_TAIL


def windows_path(path):
    """Wine shows the host's root as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Subject:
    def __init__(self, label, exe, args=(), wine_path=""):
        self.label, self.exe, self.args, self.wine_path = label, exe, list(args), wine_path
        self.entry, self.exit, self.peak_ws, self.argc = [], [], [], set()

    def clear(self):
        self.entry, self.exit, self.peak_ws = [], [], []


def lay_out(work, launcher, baselines, stub, extra):
    """Two images: one for the baselines, one for the launcher with one
    copy of the executable per config file, each finding app\\<name>.cfg."""
    if os.path.isdir(work):
        shutil.rmtree(work)
    base_dir = os.path.join(work, "baseline")
    image = os.path.join(work, "image")
    for root in (base_dir, image):
        os.makedirs(os.path.join(root, "runtime", "bin"))
        shutil.copy(stub, os.path.join(root, "runtime", "bin", "jli.dll"))
    base_exes = []
    for path in baselines:
        base_exes.append(os.path.join(base_dir, os.path.basename(path)))
        shutil.copy(path, base_exes[-1])
    os.makedirs(os.path.join(image, "app"))

    def add(name, exe, lines):
        shutil.copy(exe, os.path.join(image, name + ".exe"))
        with open(os.path.join(image, "app", name + ".cfg"), "w", newline="\n") as f:
            f.write(config_text(lines))
        return os.path.join(image, name + ".exe")

    by_lines = {lines: add(APP_NAME if lines == CONFIG_LINES[0] else f"{APP_NAME}{lines}", launcher, lines)
                for lines in CONFIG_LINES}
    extra_exes = [add(f"Extra{i}", exe, CONFIG_LINES[0]) for i, (_, exe) in enumerate(extra)]
    return base_exes, by_lines, extra_exes, os.path.join(image, "app")


def run_once(subject, wine, stamp, base_env):
    if os.path.exists(stamp):
        os.remove(stamp)
    env = dict(base_env)
    env["WINEPATH"] = subject.wine_path
    argv = [wine, subject.exe] + subject.args
    start = time.time_ns()
    pid = os.posix_spawn(wine, argv, env)
    _, status = os.waitpid(pid, 0)
    end = time.time_ns()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{subject.label}: exit code {code}")
    try:
        with open(stamp) as f:
            fields = f.read().split()
    except FileNotFoundError:
        sys.exit(f"{subject.label}: the runtime entry was not called")
    entry_ns, argc, peak_ws = int(fields[0]), int(fields[1]), int(fields[2])
    subject.entry.append((entry_ns - start) / 1e6)
    subject.exit.append((end - start) / 1e6)
    subject.peak_ws.append(peak_ws / 2**20)
    subject.argc.add(argc)


def median(values):
    return statistics.median(values)


def quartiles(values):
    q = statistics.quantiles(values, n=4)
    return q[0], q[2]


def paired_median(a, b):
    """Median of the per-round differences: the runs of a round share the load."""
    return median([x - y for x, y in zip(a, b)])


def paired_ratio(a, b):
    """Median of the per-round ratios."""
    return median([x / y for x, y in zip(a, b)])


def low_ratio(a, b):
    """Ratio of the lower quartiles: the figure a quiet machine gives."""
    return quartiles(a)[0] / quartiles(b)[0]


def fmt_ms(values):
    lo, hi = quartiles(values)
    return f"{median(values):7.1f} [{lo:5.1f}-{hi:5.1f}]"


def verdict(value, target):
    return "met" if value <= target else "MISSED"


def objdump_imports(objdump, path):
    out = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
    return [line.split(":", 1)[1].strip() for line in out.splitlines() if "DLL Name:" in line]


# The size budget of the stripped x64 GUI launcher (docs/performance.md;
# the size tests of test/size check it in every build).
SIZE_BUDGET = 350_000


def stripped_size(strip, path, work):
    copy = os.path.join(work, "stripped-" + os.path.basename(path))
    subprocess.run([strip, "-o", copy, path], check=True)
    return os.path.getsize(copy)


# The libraries that come with every Windows installation and that the
# executables may import; anything else would have to ship with them.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "shell32.dll", "advapi32.dll",
               "gdi32.dll", "ole32.dll", "ntdll.dll", "psapi.dll", "ws2_32.dll"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--baseline-ui", required=True,
                        help="the baseline that also loads user32 and shell32")
    parser.add_argument("--stub", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=41)
    parser.add_argument("--warmup", type=int, default=2)
    parser.add_argument("--also", action="append", default=[], metavar="LABEL=EXE",
                        help="another launcher build to time in the same rounds (e.g. before a change)")
    parser.add_argument("--also-restart", action="append", default=[], metavar="LABEL=EXE",
                        help="another launcher build whose restart is timed in the same rounds")
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--strip", default="x86_64-w64-mingw32-strip")
    parser.add_argument("--json", help="also write every sample to this file")
    opts = parser.parse_args()

    wine = os.environ.get("VX_WINE")
    if not wine or "WINEPREFIX" not in os.environ:
        sys.exit("VX_WINE and WINEPREFIX must be set (source cmake/wine-env.sh)")
    extra = [tuple(item.split("=", 1)) for item in opts.also]
    extra_restart = [tuple(item.split("=", 1)) for item in opts.also_restart]

    (base_exe, base_ui_exe), images, extra_exes, app_dir = lay_out(
        opts.work, opts.launcher, [opts.baseline, opts.baseline_ui], opts.stub, extra + extra_restart)
    stamp = os.path.join(opts.work, "stamp.txt")
    base_env = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "VANTORIX_DEBUG", "WINEPATH")}
    base_env["VX_BENCH_STAMP"] = windows_path(stamp)
    # "PATH" lists the application directory: the launcher runs the entry in
    # its own process. The baselines get the same "PATH".
    in_path = windows_path(app_dir)

    # Short arguments, so that 10,000 of them fit the 32,767 characters of a
    # Windows command line.
    def args_of(count):
        return [f"{i % 100:02d}" for i in range(count)]

    main_exe = images[CONFIG_LINES[0]]
    baseline = Subject("baseline", base_exe, wine_path=in_path)
    baseline_ui = Subject("baseline + user32/shell32", base_ui_exe, wine_path=in_path)
    inproc = Subject("launcher, in-process", main_exe, wine_path=in_path)
    restart = Subject("launcher, restart", main_exe, wine_path="")
    also = [Subject(label, exe, wine_path=in_path) for (label, _), exe in zip(extra, extra_exes)]
    also_restart = [Subject(label, exe, wine_path="")
                    for (label, _), exe in zip(extra_restart, extra_exes[len(extra):])]
    by_lines = {CONFIG_LINES[0]: inproc}
    by_lines.update({lines: Subject(f"{lines} lines", images[lines], wine_path=in_path)
                     for lines in CONFIG_LINES[1:]})
    by_args = {0: (inproc, baseline)}
    by_args.update({n: (Subject(f"{n} arguments", main_exe, args_of(n), wine_path=in_path),
                        Subject(f"baseline, {n} arguments", base_exe, args_of(n), wine_path=in_path))
                    for n in ARGUMENT_COUNTS[1:]})
    subjects = [baseline, baseline_ui, inproc, restart] + also + also_restart + list(by_lines.values())[1:]
    for n in ARGUMENT_COUNTS[1:]:
        subjects += list(by_args[n])

    load_before = os.getloadavg()
    for _ in range(opts.warmup):
        for s in subjects:
            run_once(s, wine, stamp, base_env)
    for s in subjects:
        s.clear()
    order = list(subjects)
    began = time.monotonic()
    for _ in range(opts.runs):
        random.shuffle(order)
        for s in order:
            run_once(s, wine, stamp, base_env)
    took = time.monotonic() - began
    load_after = os.getloadavg()

    for s in subjects:
        if len(s.argc) != 1:
            sys.exit(f"{s.label}: the entry saw different argument counts {sorted(s.argc)}")
    if restart.argc != inproc.argc:
        sys.exit("the restarted launcher handed the entry other arguments")

    out = []
    p = out.append
    p(f"Launch benchmark: wine64, {opts.runs} interleaved rounds in {took:.0f} s, "
      f"load average {load_before[0]:.1f} -> {load_after[0]:.1f} on {os.cpu_count()} cores")
    p("Times in ms from process start: median [quartiles]. 'x baseline': median of the per-round")
    p("ratios; 'own ms': median of the per-round differences (to entry, both against the baseline).")
    p("")
    p(f"{'':30}{'to runtime entry':>22}{'to process exit':>22}{'x baseline':>12}{'own ms':>8}")
    for s in [baseline, baseline_ui, inproc] + also + [restart] + also_restart:
        p(f"{s.label:30}{fmt_ms(s.entry):>22}{fmt_ms(s.exit):>22}"
          f"{paired_ratio(s.entry, baseline.entry):11.2f}x{paired_median(s.entry, baseline.entry):8.1f}")
    p("")
    r_entry = paired_ratio(inproc.entry, baseline.entry)
    p(f"in-process / baseline:      {r_entry:4.2f}x to entry, {paired_ratio(inproc.exit, baseline.exit):4.2f}x "
      f"to exit; lower quartiles {low_ratio(inproc.entry, baseline.entry):4.2f}x    "
      f"target <= 1.10x: {verdict(r_entry, 1.10)}")
    p(f"in-process / baseline + user32/shell32: {paired_ratio(inproc.entry, baseline_ui.entry):4.2f}x to entry, "
      f"own work {paired_median(inproc.entry, baseline_ui.entry):.1f} ms")
    rr_entry = paired_ratio(restart.entry, inproc.entry)
    p(f"restart / in-process:       {rr_entry:4.2f}x to entry, {paired_ratio(restart.exit, inproc.exit):4.2f}x "
      f"to exit; lower quartiles {low_ratio(restart.entry, inproc.entry):4.2f}x    "
      f"target <= 2.00x: {verdict(rr_entry, 2.0)}")
    for s in also_restart:
        p(f"{s.label} / in-process: {paired_ratio(s.entry, inproc.entry):4.2f}x to entry, "
          f"{paired_median(s.entry, restart.entry):+.1f} ms against the restart")
    p("")

    p("Config file size, in-process, to runtime entry")
    p(f"{'java-options lines':>20}{'argc':>8}{'median ms':>11}{'over 10 lines':>15}{'per line us':>13}")
    first = by_lines[CONFIG_LINES[0]]
    for lines, s in by_lines.items():
        extra_ms = paired_median(s.entry, first.entry)
        per = f"{extra_ms * 1000 / (lines - CONFIG_LINES[0]):13.1f}" if s is not first else ""
        p(f"{lines:>20,}{next(iter(s.argc)):>8}{median(s.entry):11.1f}{extra_ms:15.1f}{per}")
    p("")
    p("Command-line arguments, in-process, to runtime entry; the baseline gets the same arguments")
    p(f"{'arguments':>20}{'argc':>8}{'median ms':>11}{'over none':>15}{'per arg us':>13}"
      f"{'baseline ms':>13}{'over none':>11}{'launcher only, per arg us':>27}")
    for n, (s, b) in by_args.items():
        extra_ms = paired_median(s.entry, inproc.entry)
        base_ms = paired_median(b.entry, baseline.entry)
        cols = (f"{extra_ms * 1000 / n:13.1f}{median(b.entry):13.1f}{base_ms:11.1f}"
                f"{(extra_ms - base_ms) * 1000 / n:27.1f}") if n else f"{'':13}{median(b.entry):13.1f}"
        p(f"{n:>20,}{next(iter(s.argc)):>8}{median(s.entry):11.1f}{extra_ms:15.1f}{cols}")
    p("")

    p("Footprint")
    p(f"{'':28}{'stripped bytes':>15}{'peak working set':>18}  imports")
    for s, exe in ((baseline, opts.baseline), (baseline_ui, opts.baseline_ui), (inproc, opts.launcher)):
        size = stripped_size(opts.strip, exe, opts.work)
        imports = objdump_imports(opts.objdump, exe)
        foreign = [d for d in imports if d.lower() not in SYSTEM_DLLS]
        p(f"{s.label:28}{size:>15,}{median(s.peak_ws):>15.1f} MB  {' '.join(imports)}"
          f"{'  NOT SYSTEM DLLS: ' + ' '.join(foreign) if foreign else ''}")
    for lines in CONFIG_LINES[1:]:
        p(f"{'launcher, ' + format(lines, ',') + ' lines':28}{'':>15}"
          f"{median(by_lines[lines].peak_ws):>15.1f} MB")
    p("(peak working set: as the runtime entry reads it, the process's peak up to the hand-over)")
    launcher_size = stripped_size(opts.strip, opts.launcher, opts.work)
    p(f"launcher stripped size:     {launcher_size:,} bytes    target <= {SIZE_BUDGET:,}: "
      f"{'met' if launcher_size <= SIZE_BUDGET else 'MISSED'}")
    print("\n".join(out))

    if opts.json:
        with open(opts.json, "w") as f:
            json.dump([{"label": s.label, "args": len(s.args), "entry_ms": s.entry, "exit_ms": s.exit,
                        "peak_ws_mb": s.peak_ws, "argc": sorted(s.argc)} for s in subjects], f, indent=1)


if __name__ == "__main__":
    main()
