#!/usr/bin/env bash
# What each size step saves: builds the x64 GUI launcher with the steps of
# VX_SIZE_STEPS (src/CMakeLists.txt) added one at a time, each in
# build/size-<n>, and prints the stripped size after each step.
#   bench/size-steps.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
steps=(gc-sections size terminate)
budget=350000
previous=
printf '%-34s %12s %10s\n' "steps" "bytes" "saved"
for n in $(seq 0 ${#steps[@]}); do
  list=$(IFS=';'; echo "${steps[*]:0:$n}")
  dir=build/size-$n
  log=$dir.log
  mkdir -p "$dir"
  if ! { cmake --preset win64 -B "$dir" -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF "-DVX_SIZE_STEPS=$list" &&
         cmake --build "$dir" -j 2 --target VantorixLauncher; } >"$log" 2>&1; then
    tail -n 30 "$log"; exit 1
  fi
  x86_64-w64-mingw32-strip -o "$dir/stripped.exe" "$dir/bin/VantorixLauncher.exe"
  size=$(stat -c %s "$dir/stripped.exe")
  saved=${previous:+$((previous - size))}
  printf '%-34s %12s %10s\n' "${list:-none (-O3)}" "$size" "${saved:-}"
  previous=$size
done
verdict=met; [ "$size" -le "$budget" ] || verdict=MISSED
echo "budget <= $budget: $verdict"
