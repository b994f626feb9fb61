#!/usr/bin/env bash
# Launch benchmark: builds the launcher, the two baseline executables and the
# timing stub, runs them under wine64 and prints the table that
# docs/performance.md explains.
#   scripts/bench.sh [--runs N] [--also LABEL=EXE] [--json FILE]
# (options go to bench/launch_bench.py; --runs defaults to 41, about a
# minute on two cores)
#
# Environment: VX_BENCH_BUILD, the build directory (default build/bench-win64);
# VX_BENCH_WINEPREFIX, the Wine prefix (default: one inside the build
# directory, so that no test sharing the project's prefix competes for the
# same Wine server while it runs).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

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
