#!/usr/bin/env bash
# Where the direct road's instructions go: `printhost print` of the brochure
# on N pages (default 1,000) under callgrind, on a fresh machine root set up
# as bench/run_pages.sh sets up its direct road, and the top of the profile
# (inclusive and self) by function.
#
#   bench/profile_pages.sh [build folder, default build/dev]
#   PROFILE_PAGES=1000   pages of the document
#   PROFILE_TOP=25       functions shown
#   PROFILE_OUT=FILE     keeps callgrind's output there (default: a temporary file)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/dev}
printhost="$PWD/$build/bin/printhost"
model="$PWD/$build/models/CX5540.DAT"
pages=${PROFILE_PAGES:-1000}
top=${PROFILE_TOP:-25}
[[ -x "$printhost" && -f "$model" ]] || {
  echo "no $printhost or $model: build with 'cmake --preset dev && cmake --build --preset dev'" >&2
  exit 1
}
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }

work=$(mktemp -d /tmp/profile_pages.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/doc" "$work/root"
for ((i = 1; i <= pages; i++)); do
  ln -s "$PWD/samples/documents/brochure/page-$(((i - 1) % 2 + 1)).emf" "$work/doc/$(printf '%05d' "$i").emf"
done
export PRINTHOST_ROOT="$work/root"
"$printhost" install --name Bench --model "$model" >/dev/null
"$printhost" devmode Bench --set ReverseOrder=0 --set GraphicsMode=0 --store >/dev/null
"$printhost" print --printer Bench >/dev/null

out=${PROFILE_OUT:-$work/callgrind.out}
valgrind --tool=callgrind --callgrind-out-file="$out" --trace-children=no \
  "$printhost" print --printer Bench "$work/doc" >/dev/null 2>"$work/valgrind.log" ||
  { cat "$work/valgrind.log" >&2; exit 1; }
grep -E "Collected" "$work/valgrind.log" || true
echo "== inclusive"
callgrind_annotate --inclusive=yes "$out" 2>/dev/null | sed -n '/^Ir/,$p' | sed -n "2,$((top + 1))p"
echo "== self"
callgrind_annotate "$out" 2>/dev/null | sed -n '/^Ir/,$p' | sed -n "2,$((top + 1))p"
