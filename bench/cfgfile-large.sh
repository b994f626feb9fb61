#!/usr/bin/env bash
# Loads two very large config files (100 MB of ordinary lines, and one
# line of 50 MB) with a native release build and reports time and peak
# memory:
#   bench/cfgfile-large.sh [build dir]   (default build/bench-release)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench-release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vx_applauncher_core >/dev/null
${CXX:-g++} -std=c++17 -O2 -I"$root/src/share/native/applauncher" -I"$root/src/share/native/common" \
    "$root/bench/cfgfile_load.cpp" "$build/src/libvx_applauncher_core.a" "$build/src/libvx_common.a" \
    -o "$work/cfgfile_load"

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
# 100 MB, nearly all of it stored: one class path of about a million
# entries, with comments and unknown names between them, then JVM options.
with open(f"{work}/many-lines.cfg", "w", newline="\n") as f:
    f.write("[Application]\napp.mainjar=$APPDIR\\main.jar\n")
    size, n = 0, 0
    while size < 99 * 1024 * 1024:
        block = ("".join(f"app.classpath=$APPDIR\\lib\\dependency-{n}-{i}.jar\n" for i in range(400))
                 + "; a comment line\nunknown.name=value\n")
        f.write(block)
        size += len(block)
        n += 1
    f.write("[JavaOptions]\n")
    f.write("".join(f"java-options=-Dproperty.{i}=$ROOTDIR\\conf\n" for i in range(20000)))
# 50 MB in a single line, full of macros.
with open(f"{work}/one-line.cfg", "w", newline="\n") as f:
    f.write("[ArgOptions]\narguments=")
    piece = "$APPDIR\\lib\\a.jar;"
    f.write(piece * (50 * 1024 * 1024 // len(piece)))
    f.write("\n")
PY

for file in many-lines one-line; do
    echo "== $file.cfg ($(du -m "$work/$file.cfg" | cut -f1) MB)"
    /usr/bin/time -v "$work/cfgfile_load" "$work/$file.cfg" 2>"$work/time.txt"
    grep -E "Elapsed|Maximum resident" "$work/time.txt"
done
