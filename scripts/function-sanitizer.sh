#!/usr/bin/env bash
# Runs the main job (scripts/main.sh: install and prints on every road, the
# decodes and the property sheets) once more on a clang build in which every
# indirect call is checked against the function type of its callee
# (-fsanitize=function, with UBSan's other checks; the clang-function preset
# builds only what the job runs). Any report fails: an export, hook, window
# procedure or callback called through a pointer of another type.
set -euo pipefail
cd "$(dirname "$0")/.."

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
log=build/clang-function/main-job.log
mkdir -p build/clang-function
status=0
MAIN_JOB_PRESET=clang-function PRINTHOST_ROOT= bash scripts/main.sh >"$log" 2>&1 || status=$?
# A report in a process whose end the job does not look at fails it too.
if [[ $status -ne 0 ]] || grep -q "runtime error:" "$log"; then
  grep -A 12 "runtime error:" "$log" | head -n 80 || tail -n 40 "$log"
  echo "function-sanitizer: the main job failed under clang-function (rc $status); log: $log" >&2
  exit 1
fi
echo "function-sanitizer: the main job ran with every indirect call checked"
