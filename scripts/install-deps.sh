#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when everything is present. Must run as root.
# wine32 is optional: Debian's i386 index sometimes lags behind amd64 and the
# install then fails; the win32 build still happens, its tests are skipped.
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

# wine32: best effort. A failed try is remembered for a day, so that test
# runs in between do not ask apt again, and a later day tries once more.
marker=/var/tmp/vantorix-wine32-unavailable
recent_failure() { [ -n "$(find "$marker" -mmin -1440 2>/dev/null)" ]; }
if ! pkg_installed wine32:i386 && ! recent_failure; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  echo "install-deps: trying wine32 (optional)"
  if $SUDO apt-get update -qq >/dev/null 2>&1 &&
     $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
    echo "install-deps: wine32 installed"
  else
    echo "install-deps: wine32 could not be installed (i386 index unavailable or inconsistent); win32 tests will be skipped"
    : > "$marker" 2>/dev/null || true
  fi
fi
exit 0
