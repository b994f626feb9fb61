#!/usr/bin/env bash
# Builds every preset and runs the whole test suite; exits non-zero when
# anything fails. Usage: scripts/test.sh [preset...]
#   (default: host host32 fuzz win64 win32)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh || exit 1

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host host32 fuzz win64 win32)
jobs=$(nproc 2>/dev/null || echo 2)

. cmake/wine-env.sh
# Tests start Wine processes; the server and its helpers are started once,
# detached, and stopped at the end.
vx_wine_start || true
trap vx_wine_stop EXIT

mkdir -p build/logs
failed_steps=()
passed=0 failed=0 skipped=0
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"build/logs/$preset-configure.log" 2>&1; then
    cat "build/logs/$preset-configure.log"
    failed_steps+=("$preset:configure"); continue
  fi
  if ! cmake --build --preset "$preset" -j "$jobs" >"build/logs/$preset-build.log" 2>&1; then
    grep -E -B2 -A8 'error|Error' "build/logs/$preset-build.log" | head -80
    failed_steps+=("$preset:build"); continue
  fi
  echo "=== $preset: test"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "build/logs/$preset-test.log"
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || failed_steps+=("$preset:test")
  # Say why tests were skipped, never silently.
  grep -h 'will be reported as skipped' "build/logs/$preset-configure.log" | sed 's/^-- /note: /'
  # "N% tests passed, F tests failed out of T" and the skipped count.
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of' "build/logs/$preset-test.log" | tail -n 1)
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    nfail=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    nskip=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "build/logs/$preset-test.log" || true)
    passed=$((passed + total - nfail - nskip)); failed=$((failed + nfail)); skipped=$((skipped + nskip))
  fi
done

echo
if [ ${#failed_steps[@]} -gt 0 ]; then
  echo "failed steps: ${failed_steps[*]}"
fi
[ ${#failed_steps[@]} -eq 0 ] || [ "$failed" -gt 0 ] || failed=1
echo "tests: $passed passed, $failed failed, $skipped skipped"
[ ${#failed_steps[@]} -eq 0 ]
