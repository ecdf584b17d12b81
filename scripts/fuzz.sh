#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for the given number of
# seconds (default 60) on its seed corpus. Any crash fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
list=build/fuzz/fuzzers.txt
[ -s "$list" ] || { echo "fuzz: no harnesses yet"; exit 0; }
failed=0
while read -r name corpus; do
  [ -n "$name" ] || continue
  work="build/fuzz/corpus/$name"
  mkdir -p "$work"
  seeds=()
  [ -n "${corpus:-}" ] && [ -d "$corpus" ] && seeds+=("$corpus")
  echo "fuzz: $name for ${seconds}s"
  if ! "build/fuzz/fuzzers/$name" -max_total_time="$seconds" -print_final_stats=0 \
        -artifact_prefix="build/fuzz/$name-" "$work" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "build/fuzz/$name.log"; failed=1
  else
    echo "fuzz: $name clean ($(grep -c '' "build/fuzz/$name.log") log lines)"
  fi
done <"$list"
exit $failed
