#!/usr/bin/env bash
# Checks the sources' layout, builds everything under AddressSanitizer +
# UndefinedBehaviorSanitizer, runs every test through CTest, runs the main job
# once on a clang build that checks every indirect call's function type, then
# runs each libFuzzer harness briefly.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
bash scripts/function-sanitizer.sh
bash scripts/fuzz.sh "${FUZZ_TOTAL_SECONDS:-600}"
