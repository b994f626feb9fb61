#!/usr/bin/env bash
# Launch benchmarks, explained in docs/performance.md:
#  - wine: builds the Windows launcher, the two baseline executables and the
#    timing stub, runs them under wine64 and prints their table;
#  - linux: builds the Linux launcher without sanitizers and times it against
#    the installed Java 17 runtime's own bin/java
#    (bench/linux_launch_bench.py, VX_BENCH_LINUX_RUNS rounds, default 41);
#    then an image that the image tool links against java -cp on the full
#    JDK (bench/image_bench.py, VX_BENCH_IMAGE_RUNS rounds, default 21).
#  - fast-start: the same Linux launcher with the class-data cache against
#    java -cp, with Java 17 and a newer runtime (bench/fast_start_bench.py,
#    VX_BENCH_FAST_START_RUNS rounds, default 21).
#   scripts/bench.sh [--runs N] [--also LABEL=EXE] [--json FILE]
# (options go to bench/launch_bench.py; --runs defaults to 41, about a
# minute on two cores)
#
# Environment: VX_BENCH_BUILD, the build directory (default build/bench-win64);
# VX_BENCH_WINEPREFIX, the Wine prefix (default: one inside the build
# directory, so that no test sharing the project's prefix competes for the
# same Wine server while it runs); VX_BENCH_PARTS, which parts run
# (default "wine linux fast-start").
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
parts=${VX_BENCH_PARTS:-wine linux fast-start}

# The Linux launcher without sanitizers, built once for the Linux parts.
linux_build=build/bench-linux
build_linux_launcher() {
  [ -n "${linux_built:-}" ] && return 0
  command -v javac >/dev/null || bash scripts/install-deps.sh
  mkdir -p "$linux_build"
  if ! { cmake --preset bench-linux &&
         cmake --build --preset bench-linux -j "$(nproc 2>/dev/null || echo 2)"; } \
       >"$linux_build/bench-build.log" 2>&1; then
    tail -n 40 "$linux_build/bench-build.log"
    echo "bench: Linux build failed (full log: $linux_build/bench-build.log)" >&2
    exit 1
  fi
  linux_built=1
}

if [[ " $parts " == *" fast-start "* ]]; then
  build_linux_launcher
  echo "=== Fast start: the class-data cache against java -cp"
  python3 bench/fast_start_bench.py --launcher "$linux_build/bin/VantorixLauncher" \
    --work "$linux_build/fast-start-work" --runs "${VX_BENCH_FAST_START_RUNS:-21}"
fi

if [[ " $parts " == *" linux "* ]]; then
  build_linux_launcher
  echo "=== Linux launcher against the runtime's own launcher"
  python3 bench/linux_launch_bench.py --launcher "$linux_build/bin/VantorixLauncher" \
    --work "$linux_build/work" --runs "${VX_BENCH_LINUX_RUNS:-41}"
  echo "=== Image with a jlink runtime against the full JDK"
  python3 bench/image_bench.py --launcher "$linux_build/bin/VantorixLauncher" \
    --tool "$linux_build/bin/vantorix-image.jar" --work "$linux_build/image-work" --runs "${VX_BENCH_IMAGE_RUNS:-21}"
  [[ " $parts " == *" wine "* ]] || exit 0
  echo "=== Windows launcher under wine64"
fi

. cmake/wine-env.sh
# Installs only when something is missing (install-deps.sh refreshes the
# package lists whenever it installs).
if ! command -v cmake >/dev/null || ! command -v python3 >/dev/null ||
   ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ -z "$VX_WINE" ]; then
  bash scripts/install-deps.sh
  . cmake/wine-env.sh
fi

build=${VX_BENCH_BUILD:-build/bench-win64}
mkdir -p "$build"
log=$build/bench-build.log
if ! { cmake --preset win64 -B "$build" -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=ON &&
       cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target vx_bench; } >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "bench: build failed (full log: $log)" >&2
  exit 1
fi

export VX_WINEPREFIX=${VX_BENCH_WINEPREFIX:-$root/$build/wineprefix}
. cmake/wine-env.sh
vx_wine_select x86_64
# The prefix's server and helpers are started once, detached, and stopped at
# the end; a new prefix is created here first (some ten seconds).
vx_wine_start
trap vx_wine_stop EXIT

python3 bench/launch_bench.py \
  --launcher "$build/bin/VantorixLauncher.exe" \
  --baseline "$build/bench/Baseline.exe" \
  --baseline-ui "$build/bench/BaselineSystemUi.exe" \
  --stub "$build/bench/runtime/bin/jli.dll" \
  --work "$build/bench/work" \
  "$@"
