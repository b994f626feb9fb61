#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when everything is present. Must run as root.
# wine32 and the 32-bit Java runtime are optional: Debian's i386 index
# sometimes lags behind amd64 and the install then fails; the 32-bit builds
# still happen, the tests that need them are skipped.
set -u

need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }

have cmake || need+=(cmake)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
pkg_installed wine64 || need+=(wine64)
have Xvfb || need+=(xvfb)
have xdotool || need+=(xdotool)
have clang || need+=(clang)
have script || need+=(bsdutils)
have python3 || need+=(python3)
have flock || need+=(util-linux)
pkg_installed libclang-rt-14-dev || need+=(libclang-rt-14-dev)
pkg_installed g++-multilib || need+=(g++-multilib)
[ -d /usr/src/googletest ] || need+=(googletest)
# The branding tests read resources with wrestool and sign with a test
# certificate made by openssl.
have wrestool || need+=(icoutils)
have osslsigncode || need+=(osslsigncode)
have openssl || need+=(openssl)
# The Java runtime of the Linux launcher's end-to-end tests, and the javac
# and jar that compile their test programs.
pkg_installed default-jdk-headless || need+=(default-jdk-headless)
# JUnit 5 and its console launcher run the image tool's unit tests.
pkg_installed junit5 || need+=(junit5)
# The installers that the image tool makes: makensis builds the Windows setup
# programs, lintian checks the Debian packages (dpkg-deb is part of dpkg).
have makensis || need+=(nsis)
have lintian || need+=(lintian)
# desktop-file-validate checks the Debian packages' desktop entries.
have desktop-file-validate || need+=(desktop-file-utils)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  $SUDO apt-get update -qq || true
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null || {
    echo "install-deps: apt-get install failed for: ${need[*]}" >&2
    exit 1
  }
fi

# Optional i386 packages: best effort. A failed try is remembered for a day,
# so that test runs in between do not ask apt again, and a later day tries
# once more.
. "$(dirname "${BASH_SOURCE[0]}")/deps-markers.sh"
add_i386() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
}
# try_i386 PACKAGE MARKER-NAME WHAT-IS-SKIPPED
try_i386() {
  local package=$1 marker=$2 skipped=$3
  pkg_installed "$package" && return 0
  recent_failure "$marker" && return 0
  add_i386
  echo "install-deps: trying $package (optional)"
  if $SUDO apt-get update -qq >/dev/null 2>&1 &&
     $SUDO apt-get install -y -qq --no-install-recommends "$package" >/dev/null 2>&1; then
    echo "install-deps: $package installed"
  else
    echo "install-deps: $package could not be installed (i386 index unavailable or inconsistent); $skipped will be skipped"
    record_failure "$marker"
  fi
}

try_i386 wine32:i386 wine32-unavailable "win32 tests"

# default-jre-headless:i386 conflicts with the amd64 default-jre-headless
# that default-jdk-headless needs, so the Java runtime it stands for is
# installed by its own name (found from the i386 index).
jre32_marker=jre32-unavailable
jre32_name() {
  apt-cache depends default-jre-headless:i386 2>/dev/null |
    awk '$1 == "Depends:" && $2 ~ /jre-headless/ { print $2; exit }'
}
jre32=$(jre32_name)
if [ -z "$jre32" ] && ! recent_failure "$jre32_marker"; then
  add_i386
  $SUDO apt-get update -qq >/dev/null 2>&1
  jre32=$(jre32_name)
fi
if [ -z "$jre32" ]; then
  echo "install-deps: default-jre-headless:i386 is not in the package index; the 32-bit Linux launcher's Java tests will be skipped"
else
  case $jre32 in *:i386) ;; *) jre32=$jre32:i386 ;; esac
  try_i386 "$jre32" "$jre32_marker" "the 32-bit Linux launcher's Java tests"
fi
exit 0
