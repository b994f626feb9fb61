#!/usr/bin/env bash
# Builds the x86_64 launchers (preset win64, build/win64), lays out sample
# application images in build/demo/ with the stub Java runtime, runs them
# under Wine (the GUI launcher, then the console launcher) and prints what
# the runtime received; then runs an image whose runtime is missing and
# shows its error text and exit code.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh || exit 1

mkdir -p build/logs
echo "demo: configuring and building the win64 preset (log in build/logs/demo-build.log)"
if ! { cmake --preset win64 && cmake --build --preset win64 -j "$(nproc 2>/dev/null || echo 2)"; } \
    >build/logs/demo-build.log 2>&1; then
  tail -n 40 build/logs/demo-build.log
  echo "demo: the build failed" >&2
  exit 1
fi

exec python3 -B scripts/demo.py --build build/win64 --out build/demo
