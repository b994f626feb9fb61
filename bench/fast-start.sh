#!/usr/bin/env bash
# The class-data cache's benchmark (bench/fast_start_bench.py, explained in
# docs/performance.md): builds the Linux launcher without sanitizers and
# times an image with a warm cache against `java -cp`, with Java 17 and a
# newer runtime. VX_BENCH_FAST_START_RUNS rounds (default 21).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v javac >/dev/null || bash scripts/install-deps.sh
build=build/bench-linux
mkdir -p "$build"
if ! { cmake --preset host -B "$build" -DVX_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_TESTS=OFF &&
       cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target VantorixLauncher; } \
     >"$build/bench-build.log" 2>&1; then
  tail -n 40 "$build/bench-build.log"
  echo "bench: Linux build failed (full log: $build/bench-build.log)" >&2
  exit 1
fi
echo "=== Fast start: the class-data cache against java -cp"
python3 bench/fast_start_bench.py --launcher "$build/bin/VantorixLauncher" \
  --work "$build/fast-start-work" --runs "${VX_BENCH_FAST_START_RUNS:-21}"
