# Sourced by the Wine helpers: locates Wine and sets the project's prefix.
vx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINEPREFIX=${VX_WINEPREFIX:-$vx_root/build/wineprefix}
export WINEPREFIX
export WINEDEBUG=-all

vx_find() { command -v "$1" 2>/dev/null || { [ -x "/usr/lib/wine/$1" ] && echo "/usr/lib/wine/$1"; }; }
VX_WINESERVER=$(vx_find wineserver || vx_find wineserver64 || true)
VX_WINE=$(vx_find wine64 || true)
export VX_WINE VX_WINESERVER

# Chooses the loader for an architecture; says why on standard error when
# there is none.
vx_wine_select() {
  case "$1" in
    x86_64)
      [ -n "$VX_WINE" ] || { echo "wine64 is not installed (run scripts/install-deps.sh)" >&2; return 1; } ;;
    i686)
      # Debian's 32-bit loader comes with wine32:i386 as /usr/lib/wine/wine.
      # VX_WINE32=absent makes a machine with wine32 behave as one without
      # it, so that both states of the suite can be run on one machine.
      if [ "${VX_WINE32:-}" = absent ]; then
        echo "wine32 is treated as not installed (VX_WINE32=absent)" >&2
        return 1
      elif [ -x /usr/lib/wine/wine ] && [ -d /usr/lib/i386-linux-gnu/wine ]; then
        # Installed is not enough: a kernel without 32-bit support runs no
        # i686 program, the loader included.
        if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
          echo "wine32 is installed, but this machine cannot run 32-bit programs (its kernel has no 32-bit support)" >&2
          return 1
        fi
        VX_WINE=/usr/lib/wine/wine
      else
        echo "wine32 is not installed: Debian's i386 packages could not be installed on this machine" >&2
        return 1
      fi ;;
    *) echo "unknown architecture $1" >&2; return 1 ;;
  esac
  [ -n "$VX_WINESERVER" ] || { echo "wineserver is not installed" >&2; return 1; }
}

vx_wine_start() {
  mkdir -p "$WINEPREFIX"
  # One starter at a time; the others wait for it (CTest runs tests in parallel).
  (
    flock 9
    # -p exits with 2 when a server for this prefix is already running.
    # The long-lived processes must not inherit the lock's descriptor, or
    # they hold the lock for as long as they live.
    if setsid "$VX_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-; then
      setsid "$VX_WINE" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
    exit 0
  ) 9>"$WINEPREFIX.lock"
}

vx_wine_stop() {
  [ -z "$VX_WINESERVER" ] || WINEPREFIX=$WINEPREFIX "$VX_WINESERVER" -k 2>/dev/null
  return 0
}
