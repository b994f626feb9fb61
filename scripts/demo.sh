#!/usr/bin/env bash
# The project's main job, done the way a Java developer does it:
#   1. compile a small real Java application (demo/orbit: a few classes, an
#      XML resource, java.xml and java.logging) into a jar;
#   2. make an application image of it with the image tool, which links a
#      Java runtime of just the modules the jar needs;
#   3. run the image with the Linux launcher, twice (the second start uses
#      the class-data cache that the first one made);
#   4. make its Debian package, check it with lintian, install it, run it
#      from /usr/bin and remove it (as root);
#   5. make the same application as a Windows image and run it under Wine
#      with the project's stub runtime, which shows what a Java runtime
#      would receive; its setup program installed silently, started from its
#      Start-menu shortcut and uninstalled; then a broken image and its error.
# Everything lands in build/demo/.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh || exit 1

out=$root/build/demo
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p build/logs "$out"

fail() { echo "demo: $*" >&2; exit 1; }
heading() { printf '\n== %s\n' "$*"; }
# Milliseconds since the epoch.
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# A JDK's tree has links into the system; a few of them may dangle.
megabytes() { du -sbL "$1" 2>/dev/null | awk '{ printf "%.1f MB", $1 / 1000000 }'; }
# Runs a command after showing it, with the paths relative to the tree.
shown_run() {
  local shown=("${@/#$root\//}")
  echo "   \$ ${shown[*]}"
  "$@" 2>&1 | sed 's/^/   /'
  return "${PIPESTATUS[0]}"
}

# The launchers as a release build makes them (the Linux one, and the
# Windows ones with the stub runtime of the test build), with the image
# tool beside them in bin/, as in an unpacked release archive.
echo "demo: building the Linux launcher and the image tool (log in build/logs/demo-build.log)"
if ! { cmake -S . -B build/demo-linux -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF &&
       cmake --build build/demo-linux -j "$jobs" &&
       echo "demo: building the Windows launchers (preset win64)" &&
       cmake --preset win64 && cmake --build --preset win64 -j "$jobs"; } >build/logs/demo-build.log 2>&1; then
  tail -n 40 build/logs/demo-build.log
  fail "the build failed"
fi
kit=$root/build/demo-linux/bin
windows_kit=$root/build/win64/bin

heading "1. The application: demo/orbit, compiled with javac and packed with jar"
rm -rf "$out"
mkdir -p "$out/classes" "$out/input"
javac -d "$out/classes" $(find demo/orbit/src -name '*.java') || fail "javac failed"
(cd demo/orbit/src && find . -name '*.xml' -exec cp --parents {} "$out/classes" \;)
jar --create --file "$out/input/orbit.jar" --main-class org.example.orbit.Main -C "$out/classes" . ||
  fail "jar failed"
echo "   build/demo/input/orbit.jar: $(unzip -l "$out/input/orbit.jar" | tail -n 1 | awk '{ print $2 }') entries"

heading "2. The image: vantorix-image links the runtime itself"
shown_run "$kit/vantorix-image" --name Orbit --input "$out/input" --main-jar orbit.jar \
  --user-option -Xmx --output "$out/Orbit" || fail "the image tool failed"
jdk=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
echo "   modules linked: $(sed -n 's/^MODULES="\(.*\)"/\1/p' "$out/Orbit/runtime/release")"
echo "   image: $(megabytes "$out/Orbit"), the JDK it was linked from: $(megabytes "$jdk")"

heading "3. Running build/demo/Orbit/Orbit (the Linux launcher with the linked Java 17)"
# A cache of the demo's own, so that the first start is a first start.
export XDG_CACHE_HOME=$out/cache
for run in first second; do
  start=$(now_ms)
  "$out/Orbit/Orbit" >"$out/$run.txt" 2>&1
  status=$?
  took=$(( $(now_ms) - start ))
  if [ "$run" = first ]; then
    sed 's/^/   /' "$out/$run.txt"
  fi
  echo "   $run start: exit code $status, $took ms"
  [ "$status" -eq 0 ] || fail "the application ended with $status"
  grep -q '^Jupiter' "$out/$run.txt" || fail "the application's output is missing"
done
echo "   (the first start saves the application's classes to a per-user class-data cache in"
echo "   $XDG_CACHE_HOME/Orbit; later starts load them from there)"
unset XDG_CACHE_HOME

heading "4. The Debian package that users download (--installer deb)"
# The runtime linked above, copied: linking it again would only take time.
shown_run "$kit/vantorix-image" --name Orbit --input "$out/input" --main-jar orbit.jar \
  --runtime "$out/Orbit/runtime" --output "$out/deb/Orbit" --version 1.0.0 --vendor "Orbit Works" \
  --vendor-email orbit@example.com --copyright "2026 Orbit Works" \
  --description "Shows the planets of the solar system" \
  --installer deb || fail "the image tool failed"
deb=$out/deb/orbit_1.0.0_amd64.deb
if command -v lintian >/dev/null; then
  echo "   lintian (as root it says so first):"
  lintian "$deb" 2>&1 | sed 's/^/     /'
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
if [ -n "$sudo" ] && ! sudo -n true 2>/dev/null; then
  echo "   not installed: that needs root (or sudo without a password)"
elif dpkg -s orbit >/dev/null 2>&1; then
  echo "   not installed: a package named orbit is installed already"
else
  shown_run $sudo dpkg -i "$deb" | grep -v '^   (Reading\|^   Selecting\|^   Preparing\|^   Unpacking\|^   Processing' ||
    true
  echo "   \$ /usr/bin/Orbit"
  XDG_CACHE_HOME=$out/cache /usr/bin/Orbit 2>&1 | head -n 3 | sed 's/^/   /'
  shown_run $sudo dpkg -r orbit | grep -v '^   (Reading\|^   Processing' || true
  [ ! -e /usr/bin/Orbit ] || fail "dpkg -r left /usr/bin/Orbit"
fi

heading "5. The same application for Windows, run under Wine with the stub runtime"
python3 -B scripts/demo.py --kit "$windows_kit" --stub-runtime "$root/build/win64/stubruntime" \
  --input "$out/input" --out "$out" || fail "the Windows part failed"

heading "What next"
cat <<EOF
   Your own jar, as a Linux image (the tool is in bin/ of the Linux release archive):
     vantorix-image --name MyApp --input target/dist --main-jar myapp.jar --output MyApp
   For Windows, from the Windows release archive (vantorix-image.cmd runs it on Windows), with
   a Windows JDK's jmods when you build on Linux:
     vantorix-image --name MyApp --input target/dist --main-jar myapp.jar --target windows-x64 \\
         --jmods /path/to/windows-jdk/jmods --icon myapp.ico --version 1.0.0 --output MyApp
   What your users download, made in the same command:
     ... --version 1.0.0 --vendor "My Company" --installer exe      # MyApp-1.0.0-setup.exe (makensis)
     ... --version 1.0.0 --vendor "My Company" --vendor-email me@example.com \
         --installer deb                                            # myapp_1.0.0_amd64.deb
   More in docs/packaging.md.
EOF
