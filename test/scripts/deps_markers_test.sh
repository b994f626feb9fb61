#!/usr/bin/env bash
# The markers of scripts/install-deps.sh against planted links and
# directories that others can write to, in a temporary root.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(mktemp -d)
trap 'chmod -R u+w "$root"; rm -rf "$root"' EXIT
failures=0
check() {  # check LABEL COMMAND...
  if "$@"; then echo "ok: $label"; else echo "FAILED: $label"; failures=$((failures + 1)); fi
}
fresh() {  # a new marker directory path and the functions, as the script loads them
  marker_dir_refused=
  VX_DEPS_MARKER_DIR=$root/$1
  . "$here/../../scripts/deps-markers.sh"
}

label="a missing directory is made, for its user only, and remembers a failure"
fresh made
record_failure wine32-unavailable
check [ "$(stat -c %a "$marker_dir")" = 700 ]
check recent_failure wine32-unavailable
label="a failure of more than a day ago is forgotten"
touch -d '2 days ago' "$marker_dir/wine32-unavailable"
check eval '! recent_failure wine32-unavailable'

label="a link planted under a marker's name is replaced, its target left alone"
fresh planted
mkdir -m 700 "$marker_dir"
echo precious > "$root/victim"
ln -s "$root/victim" "$marker_dir/wine32-unavailable"
check eval '! recent_failure wine32-unavailable'
record_failure wine32-unavailable
check [ "$(cat "$root/victim")" = precious ]
check [ -f "$marker_dir/wine32-unavailable" ]
check [ ! -L "$marker_dir/wine32-unavailable" ]

for kind in link open; do
  fresh "$kind"
  mkdir -m 700 "$root/elsewhere-$kind"
  touch "$root/elsewhere-$kind/wine32-unavailable"
  case $kind in
    link) label="a marker directory that is a link is not used"
          ln -s "$root/elsewhere-$kind" "$marker_dir" ;;
    open) label="a marker directory that others can write to is not used"
          mv "$root/elsewhere-$kind" "$marker_dir"; chmod 777 "$marker_dir" ;;
  esac
  check eval '! recent_failure wine32-unavailable 2>/dev/null'
  record_failure jre32-unavailable 2>/dev/null
  check [ ! -e "$marker_dir/jre32-unavailable" ]
done

[ "$failures" -eq 0 ]
