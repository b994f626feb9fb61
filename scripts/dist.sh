#!/usr/bin/env bash
# Builds the release archives in dist/:
#   vantorix-launcher-<version>-windows-x64.zip
#   vantorix-launcher-<version>-windows-x86.zip
#   vantorix-launcher-<version>-linux-x64.tar.gz   (when the build has the Linux launcher)
# Each holds the launchers, the branding tool (vantorix-brand.exe; in the
# Linux archive vantorix-brand, which brands the Windows launchers without
# Wine), the image tool vantorix-image.jar and its starters (beside them,
# where it looks for them) and the documentation (cmake/Install.cmake).
# Each is made by cmake/Package.cmake from a release build of its own in
# build/dist-<platform> (no tests), so that the archives do not depend on
# what the test builds hold.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! command -v cmake >/dev/null || ! command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
   ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v g++ >/dev/null; then
  bash scripts/install-deps.sh
fi

jobs=2
mkdir -p dist build/logs

# platform, then the configure arguments of its build.
builds=(
  "windows-x64 --preset win64"
  "windows-x86 --preset win32"
  "linux-x64 -S . -DCMAKE_BUILD_TYPE=Release"
)
for entry in "${builds[@]}"; do
  read -r platform configure <<<"$entry"
  dir=build/dist-$platform
  log=build/logs/dist-$platform.log
  echo "=== $platform"
  # shellcheck disable=SC2086
  if ! { cmake $configure -B "$dir" -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF &&
         cmake --build "$dir" -j "$jobs" &&
         cmake -DBUILD_DIR="$dir" -DOUT_DIR=dist -P cmake/Package.cmake; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "dist: $platform failed (full log: $log)" >&2
    exit 1
  fi
  grep -E '^-- (archive|note):' "$log" | sed 's/^-- //'
done
echo
ls -l dist/*.zip dist/*.tar.gz 2>/dev/null || true
