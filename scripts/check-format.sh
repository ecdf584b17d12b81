#!/usr/bin/env bash
# Checks that every C and C++ source of the tree is laid out as .clang-format
# says; prints the files that are not and fails. Run `clang-format -i FILE` to mend.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
((${#files[@]})) || exit 0
bad=$(clang-format --dry-run "${files[@]}" 2>&1 | grep -E '^[^ ].*: (warning|error):' | cut -d: -f1 | sort -u || true)
if [[ -n "$bad" ]]; then
  echo "format: these files differ from .clang-format:"
  printf '  %s\n' $bad
  exit 1
fi
echo "format: ${#files[@]} files laid out as .clang-format says"
