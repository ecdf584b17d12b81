#!/usr/bin/env bash
# Whole-process cost per page: `printhost print` of the brochure on 1, 10, 100,
# 1,000 and 8,000 pages, on the direct road (drawing tokens straight into the
# printer stream) and on the spool-side road (recorded as a spool package and
# replayed four pages to a sheet), each in a fresh process on a fresh machine
# root; and the Japanese text page alone. For each: milliseconds of processor
# time (user + system) per page, the peak resident memory, and the ratio to
# the reference.
#
# The reference is Ghostscript doing the same work: the brochure's drawing
# (the same rectangles, ellipses, rounded rectangle, axes, bars and pie
# slices, at the same places on an A4 page) written once by this script as a
# PostScript program of N pages, turned by `gs -sDEVICE=pxlmono -r600` into a
# 600-dpi monochrome vector printer language, its whole output written to a
# real file, as our driver's stream is written to the spool file.
#
#   bench/run_pages.sh [build folder, default build/dev]
#   BENCH_PAGES="1 10 100 1000 8000"  page counts
#   BENCH_RUNS=5                       runs per row at least (the median is shown)
#   BENCH_SECONDS=2                    a row takes more rounds, up to BENCH_MAX_RUNS=25, until
#     each of its roads has run that long in all: a short job's median then stands on as
#     much of the machine's time as a long one's, so that a slow spell of this machine
#     sways the small rows no more than the large ones
#   BENCH_CPU=2                        pin every run to this processor
#   BENCH_TMPDIR=/dev/shm              where the machine roots, documents and outputs go
#     (default: /dev/shm when it is a memory file system, else /tmp). The spool-side
#     road makes a file per page, as its spool package is laid out. On a disk file
#     system the processor time of making a file belongs to the disk's allocator, not
#     to us: an ext4 without a journal passes over every inode freed anywhere on the
#     disk in the last half minute, so one file costs 50 us to 1 ms of kernel time
#     depending on what the machine's other processes deleted. Set BENCH_TMPDIR=/tmp
#     to see that too.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/dev}
printhost="$PWD/$build/bin/printhost"
model="$PWD/$build/models/CX5540.DAT"
pages_list=${BENCH_PAGES:-"1 10 100 1000 8000"}
runs=${BENCH_RUNS:-5}
min_seconds=${BENCH_SECONDS:-2}
max_runs=${BENCH_MAX_RUNS:-25}
[[ -x "$printhost" && -f "$model" ]] || {
  echo "no $printhost or $model: build with 'cmake --preset dev && cmake --build --preset dev'" >&2
  exit 1
}
if ! command -v gs >/dev/null; then
  echo "installing ghostscript (the reference)" >&2
  if [[ $(id -u) -eq 0 ]]; then apt-get install -y --no-install-recommends ghostscript >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends ghostscript >/dev/null; }
  else sudo apt-get install -y --no-install-recommends ghostscript >/dev/null; fi
fi

default_tmp=/tmp
[[ $(df --output=fstype /dev/shm 2>/dev/null | tail -1) == tmpfs ]] && default_tmp=/dev/shm
work=$(mktemp -d "${BENCH_TMPDIR:-$default_tmp}/run_pages.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Documents of N pages: a folder of N metafiles, the brochure's two pages in turn.
make_document() {
  local n=$1 dir="$work/doc-$1"
  mkdir -p "$dir"
  for ((i = 1; i <= n; i++)); do
    ln -s "$PWD/samples/documents/brochure/page-$(((i - 1) % 2 + 1)).emf" "$dir/$(printf '%05d' "$i").emf"
  done
  echo "$dir"
}

# The brochure's drawing in PostScript, on the same 210 x 297 grid (millimetres of A4).
make_postscript() {
  local n=$1 file="$work/brochure-$1.ps"
  cat >"$file" <<EOF
%!PS-Adobe-3.0
%%BoundingBox: 0 0 595 842
%%Pages: $n
<< /PageSize [595.28 841.89] >> setpagedevice
/mm { 72 25.4 div mul } def
/grid { 72 25.4 div dup scale } def
/box { 4 dict begin /y1 exch def /x1 exch def /y0 exch def /x0 exch def
  newpath x0 y0 moveto x1 y0 lineto x1 y1 lineto x0 y1 lineto closepath end } def
/oval { 4 dict begin /y1 exch def /x1 exch def /y0 exch def /x0 exch def
  matrix currentmatrix x0 x1 add 2 div y0 y1 add 2 div translate x1 x0 sub 2 div y1 y0 sub 2 div scale
  newpath 0 0 1 0 360 arc closepath setmatrix end } def
/rrect { 5 dict begin /r exch def /y1 exch def /x1 exch def /y0 exch def /x0 exch def
  newpath x0 r add y0 moveto x1 y0 x1 y1 r arcto 4 {pop} repeat x1 y1 x0 y1 r arcto 4 {pop} repeat
  x0 y1 x0 y0 r arcto 4 {pop} repeat x0 y0 x1 y0 r arcto 4 {pop} repeat closepath end } def
% Page 1 is drawn with y down from the top of the page.
/cover { gsave grid 0 297 translate 1 -1 scale 0 setlinewidth
  20 255 div 60 255 div 120 255 div setrgbcolor 0 0 210 60 box fill
  240 255 div 180 255 div 40 255 div setrgbcolor
  0 1 3 { 45 mul dup 20 add 100 3 -1 roll 60 add 140 oval fill } for
  0 setgray 20 170 190 270 10 rrect stroke grestore } def
% Page 2 is drawn with y up from the bottom of the page.
/colors [[200 60 60] [60 160 60] [60 90 200] [230 170 40] [140 60 170]] def
/heights [40 75 55 95 30] def
/color { colors exch get aload pop 3 { 255 div 3 1 roll } repeat setrgbcolor } def
/chart { gsave grid 0 setlinewidth 0 setgray
  newpath 20 170 moveto 20 280 lineto 20 170 moveto 190 170 lineto stroke
  0 1 4 { /i exch def i color 35 i 30 mul add dup 170 exch 20 add 170 heights i get add box
    gsave fill grestore 0 setgray stroke } for
  /a 0 def
  0 1 4 { /i exch def /b a heights i get 295 div 360 mul add def i color
    newpath 105 80 moveto 105 80 50 a b arc closepath gsave fill grestore 0 setgray stroke
    /a b def } for
  grestore } def
1 1 $n { 2 mod 1 eq { cover } { chart } ifelse showpage } for
%%EOF
EOF
  echo "$file"
}

# Runs a command; prints "cpu-seconds peak-kilobytes".
measure() {
  python3 - "$@" <<'EOF'
import os, subprocess, sys
# Pinned here and inherited, so that the time of a pinning program's own start
# is not counted as the measured program's.
if os.environ.get("BENCH_CPU"):
    os.sched_setaffinity(0, {int(os.environ["BENCH_CPU"])})
# The child's own use, as wait4 reports it for that process (and what it waited for).
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
err = p.stderr.read()
_, status, use = os.wait4(p.pid, 0)
code = os.waitstatus_to_exitcode(status)
if code != 0:
    sys.stderr.write(err.decode(errors="replace"))
    sys.exit(1)
print(f"{use.ru_utime + use.ru_stime:.6f} {use.ru_maxrss}")
EOF
}

# A fresh machine root with the sample printer on the road asked for.
fresh_root() {
  local road=$1
  export PRINTHOST_ROOT="$work/root"
  rm -rf "$PRINTHOST_ROOT"
  mkdir -p "$PRINTHOST_ROOT"
  "$printhost" install --name Bench --model "$model" >/dev/null
  if [[ $road == direct ]]; then
    "$printhost" devmode Bench --set ReverseOrder=0 --set GraphicsMode=0 --store >/dev/null
  else
    "$printhost" devmode Bench --set ReverseOrder=0 --set GraphicsMode=0 --set LayoutKind=1 \
      --set PagesPerSheet=4 --store >/dev/null
  fi
  # A machine that has printed before: what a first job does once per user is not timed.
  "$printhost" print --printer Bench >/dev/null
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# Whether a row wants another round: fewer than the least runs, or a road of it
# measured for less than the least time (and the most runs not reached).
another_round() {
  local r=$1
  shift
  ((r < runs)) && return 0
  ((r >= max_runs)) && return 1
  local f
  for f in "$@"; do
    awk -v least="$min_seconds" '{t += $1} END {exit !(t < least)}' "$f" && return 0
  done
  return 1
}

# One run of a road: "seconds kilobytes" appended to the road's file.
run_road() {
  local road=$1 file=$2
  shift 2
  [[ $road != gs ]] && fresh_root "$road"
  measure "$@" >>"$file"
}

# A road's row: the medians over its runs of processor time and of peak memory.
row_of() {
  local label=$1 pages=$2 road=$3 file=$4
  echo "$label $pages $road $(cut -d' ' -f1 "$file" | median) $(cut -d' ' -f2 "$file" | median)"
}

results="$work/results"
: >"$results"
for n in $pages_list; do
  doc=$(make_document "$n")
  ps=$(make_postscript "$n")
  : >"$work/t-gs"
  : >"$work/t-direct"
  : >"$work/t-spool"
  # The roads take turns within each round, so that a slow spell of the
  # machine falls on the reference as much as on the driver.
  r=0
  while another_round "$r" "$work/t-gs" "$work/t-direct" "$work/t-spool"; do
    run_road gs "$work/t-gs" gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r600 \
      -sOutputFile="$work/gs-$n.pxl" "$ps"
    run_road direct "$work/t-direct" "$printhost" print --printer Bench "$doc"
    run_road spool-4up "$work/t-spool" "$printhost" print --printer Bench "$doc"
    r=$((r + 1))
  done
  row_of brochure "$n" gs "$work/t-gs" >>"$results"
  row_of brochure "$n" direct "$work/t-direct" >>"$results"
  row_of brochure "$n" spool-4up "$work/t-spool" >>"$results"
  rm -rf "$doc" "$work"/gs-*.pxl
done
: >"$work/t-japanese"
r=0
while another_round "$r" "$work/t-japanese"; do
  run_road direct "$work/t-japanese" "$printhost" print --printer Bench "$PWD/samples/documents/text/japanese.emf"
  r=$((r + 1))
done
row_of japanese 1 direct "$work/t-japanese" >>"$results"

echo "Processor time (user + system) and peak resident memory of each process; median of $runs to $max_runs runs (at least ${min_seconds} s of each road's time a row); files in $(df --output=fstype "$work" | tail -1 | tr -d ' ')."
echo "Reference: Ghostscript $(gs --version) turning the same drawing (PostScript) into PCL XL, -sDEVICE=pxlmono -r600."
# ms/page is the whole process's time over its pages; "+ms/page" leaves out
# what a one-page job costs (start, printer set-up, end): (t(N) - t(1)) / (N - 1).
awk '
  $3 == "gs" { ref[$1 " " $2] = $4 }
  $2 == 1 { one[$1 " " $3] = $4 }
  { rows[NR] = $0 }
  END {
    printf "%-9s %6s %-10s %9s %9s %8s %7s\n", "document", "pages", "road", "ms/page", "+ms/page", "peak MB", "÷ gs"
    for (i = 1; i <= NR; i++) {
      split(rows[i], f, " ")
      key = f[1] " " f[2]
      ratio = (key in ref && ref[key] > 0) ? sprintf("%.2f", f[4] / ref[key]) : "-"
      k1 = f[1] " " f[3]
      extra = (f[2] > 1 && (k1 in one)) ? sprintf("%.3f", 1000 * (f[4] - one[k1]) / (f[2] - 1)) : "-"
      printf "%-9s %6d %-10s %9.3f %9s %8.1f %7s\n", f[1], f[2], f[3], 1000 * f[4] / f[2], extra, f[5] / 1024, ratio
    }
  }' "$results"
# Flatness per road: the largest over the smallest time per page from 1,000 pages up,
# whole and leaving out the one-page cost.
awk '
  $2 == 1 { one[$1 " " $3] = $4 }
  $1 == "brochure" && $2 >= 1000 { n[$3] = n[$3] " " $2; t[$3 " " $2] = $4 }
  END {
    for (r in n) {
      split(substr(n[r], 2), c, " ")
      lo = hi = lo2 = hi2 = -1
      for (i in c) {
        v = t[r " " c[i]] / c[i]
        if (lo < 0 || v < lo) lo = v
        if (v > hi) hi = v
        if (("brochure " r) in one) {
          w = (t[r " " c[i]] - one["brochure " r]) / (c[i] - 1)
          if (lo2 < 0 || w < lo2) lo2 = w
          if (w > hi2) hi2 = w
        }
      }
      if (length(c) > 1) {
        printf "%-10s flatness from 1,000 pages: ms/page %.2f", r, hi / lo
        if (lo2 > 0) printf ", +ms/page %.2f", hi2 / lo2
        printf "\n"
      }
    }
  }' "$results"
