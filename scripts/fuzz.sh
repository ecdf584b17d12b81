#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each on its seed corpus
# with the largest input its format needs. The argument is the time for all
# harnesses together (default 600 s): each gets an equal share, at least
# FUZZ_MIN_SECONDS (default 10), so that the total stays put as harnesses are
# added. Each harness's coverage after its seeds and at its end is printed;
# a harness whose coverage does not grow past its seeds on a fresh work
# corpus is blind and fails the script, as does any crash or any input that
# takes over two minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
total="${1:-600}"
minimum="${FUZZ_MIN_SECONDS:-10}"

# Allocations of system libraries that live as long as the process.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
list=build/fuzz/fuzzers.txt
[ -s "$list" ] || { echo "fuzz: no harnesses yet"; exit 0; }
count=$(grep -c . "$list")
seconds=$(( total / count ))
[ "$seconds" -ge "$minimum" ] || seconds=$minimum
echo "fuzz: $count harnesses, ${seconds}s each"

# The coverage a libFuzzer log reports on its line with the given tag (INITED, DONE).
coverage() { grep -E "^#[0-9]+[[:space:]]+$2 " "$1" | tail -1 | sed -E 's/.* cov: ([0-9]+).*/\1/'; }

failed=0
summary=()
while read -r name max_len corpus; do
  [ -n "$name" ] || continue
  work="build/fuzz/corpus/$name"
  fresh=0
  [ -d "$work" ] && [ -n "$(ls -A "$work")" ] || fresh=1
  mkdir -p "$work"
  seeds=()
  [ -n "${corpus:-}" ] && [ -d "$corpus" ] && seeds+=("$corpus")
  log="build/fuzz/$name.log"
  if ! "build/fuzz/fuzzers/$name" -max_total_time="$seconds" -timeout=120 -max_len="$max_len" -print_final_stats=1 \
        -artifact_prefix="build/fuzz/$name-" "$work" "${seeds[@]}" >"$log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "$log"; failed=1
    summary+=("$name: FAILED")
    continue
  fi
  start=$(coverage "$log" INITED); end=$(coverage "$log" DONE)
  start=${start:-0}; end=${end:-0}
  line="$name: coverage $start after seeds, $end after ${seconds}s"
  [ ${#seeds[@]} -gt 0 ] || line="$line  (NO SEED CORPUS)"
  if [ "$end" -le "$start" ]; then
    if [ "$fresh" -eq 1 ]; then line="$line  BLIND"; failed=1; else line="$line  (no growth on a reused corpus)"; fi
  fi
  echo "fuzz: $line"
  summary+=("$line")
done <"$list"
echo "fuzz: summary"
printf '  %s\n' "${summary[@]}"
exit $failed
