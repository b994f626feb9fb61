# Markers of optional installs that failed, sourced by install-deps.sh.
#
# They live in a directory that only the user running the script (root)
# can write to: in a shared one such as /var/tmp, anyone could create a
# marker and stop those installs, or plant a link by that name through
# which root would truncate another file. A directory that is a link, is
# owned by someone else or is open to others is not used at all.
# VX_DEPS_MARKER_DIR names another directory, for the script's own test.

marker_dir=${VX_DEPS_MARKER_DIR:-/var/lib/vantorix-build}

# True when the marker directory is safe to use; makes it when missing.
marker_dir_usable() {
  if [ ! -e "$marker_dir" ] && [ ! -L "$marker_dir" ]; then
    mkdir -m 700 -- "$marker_dir" 2>/dev/null || return 1
  fi
  if [ -L "$marker_dir" ] || [ ! -d "$marker_dir" ] ||
     [ "$(stat -c %u -- "$marker_dir")" != "$(id -u)" ] ||
     [ $(( 0$(stat -c %a -- "$marker_dir") & 022 )) -ne 0 ]; then
    if [ -z "${marker_dir_refused:-}" ]; then
      echo "install-deps: $marker_dir is not a directory of $(id -un) closed to others; failed optional installs are not remembered" >&2
      marker_dir_refused=1
    fi
    return 1
  fi
}

# recent_failure NAME: the install named NAME failed less than a day ago.
recent_failure() {
  marker_dir_usable || return 1
  local marker=$marker_dir/$1
  [ -f "$marker" ] && [ ! -L "$marker" ] && [ -n "$(find "$marker" -mmin -1440 2>/dev/null)" ]
}

# record_failure NAME: remembers that the install named NAME failed now.
# Whatever has the marker's name goes first; the new file is created, never
# opened through a link.
record_failure() {
  marker_dir_usable || return 0
  local marker=$marker_dir/$1
  rm -f -- "$marker"
  (set -C; : > "$marker") 2>/dev/null || true
}
