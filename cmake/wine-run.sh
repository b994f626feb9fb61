#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix:
#   wine-run.sh --arch=x86_64|i686 [--check] program [args...]
# --check only tells (exit 0) whether programs of that architecture can run.
#
# The first Wine program in a prefix starts long-lived helpers that inherit
# its standard handles; started from a runner that reads through pipes
# (CTest, gtest discovery) they would keep those pipes open for ever. So the
# server and the helpers are started once, detached and with their standard
# handles on /dev/null, before the program itself runs.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

arch=x86_64
case "${1:-}" in --arch=*) arch=${1#--arch=}; shift ;; esac
vx_wine_select "$arch" || exit 1
if [ "${1:-}" = "--check" ]; then exit 0; fi
vx_wine_start || exit 1
exec "$VX_WINE" "$@"
