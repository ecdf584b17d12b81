#!/usr/bin/env bash
# What a user waits for, per page: `printhost print` of the brochure on 1, 10,
# 100, 1,000 and 8,000 pages, on the direct road (drawing tokens straight into
# the printer stream) and on the spool-side road (recorded as a spool package
# and replayed four pages to a sheet), each in a fresh process on a fresh
# machine root; the printer's own defaults (the spool-side player replaying
# each page as a raster page, in reverse order) on 1 and 10 pages; and the
# Japanese text page alone, direct and on the printer's defaults. For each:
# milliseconds of wall clock and of processor time (user + system) per page,
# the peak resident memory, and the ratios to the reference.
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
#   BENCH_DEFAULT_PAGES="1 10"         page counts of the printer's own defaults (raster,
#     about a tenth of a second a page)
#   BENCH_RUNS=5                       runs per row at least (the median is shown)
#   BENCH_SECONDS=2                    a row takes more rounds, up to BENCH_MAX_RUNS=25, until
#     each of its roads has run that long in all: a short job's median then stands on as
#     much of the machine's time as a long one's, so that a slow spell of this machine
#     sways the small rows no more than the large ones
#   BENCH_CPU=2                        pin every run to this processor
#   BENCH_TMPDIR=/var/tmp              where the machine roots, documents and outputs go
#     (default: /var/tmp, else /tmp: a disk, as a user's spool folder is). The
#     spool-side road makes a file per page, as its spool package is laid out; on a
#     disk the kernel's cost of making a file depends on what the machine's other
#     processes deleted lately, so its rows sway more than on a memory file system
#     (BENCH_TMPDIR=/dev/shm leaves that out).
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

default_pages_list=${BENCH_DEFAULT_PAGES:-"1 10"}
default_tmp=/tmp
[[ -d /var/tmp && -w /var/tmp ]] && default_tmp=/var/tmp
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

# Runs a command; prints "cpu-seconds peak-kilobytes wall-seconds".
measure() {
  python3 - "$@" <<'EOF'
import os, subprocess, sys
# Pinned here and inherited, so that the time of a pinning program's own start
# is not counted as the measured program's.
if os.environ.get("BENCH_CPU"):
    os.sched_setaffinity(0, {int(os.environ["BENCH_CPU"])})
# The child's own use, as wait4 reports it for that process (and what it waited for).
import time
start = time.monotonic()
p = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
err = p.stderr.read()
_, status, use = os.wait4(p.pid, 0)
wall = time.monotonic() - start
code = os.waitstatus_to_exitcode(status)
if code != 0:
    sys.stderr.write(err.decode(errors="replace"))
    sys.exit(1)
print(f"{use.ru_utime + use.ru_stime:.6f} {use.ru_maxrss} {wall:.6f}")
EOF
}

# A fresh machine root with the sample printer on the road asked for.
fresh_root() {
  local road=$1
  export PRINTHOST_ROOT="$work/root"
  rm -rf "$PRINTHOST_ROOT"
  mkdir -p "$PRINTHOST_ROOT"
  "$printhost" install --name Bench --model "$model" >/dev/null
  if [[ $road == defaults ]]; then
    : # the printer's own settings, as installed
  elif [[ $road == direct ]]; then
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

# A road's row: the medians over its runs of processor time, peak memory and wall clock.
row_of() {
  local label=$1 pages=$2 road=$3 file=$4
  echo "$label $pages $road $(cut -d' ' -f1 "$file" | median) $(cut -d' ' -f2 "$file" | median)" \
    "$(cut -d' ' -f3 "$file" | median)"
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
for n in $default_pages_list; do
  doc=$(make_document "$n")
  : >"$work/t-defaults"
  r=0
  while another_round "$r" "$work/t-defaults"; do
    run_road defaults "$work/t-defaults" "$printhost" print --printer Bench "$doc"
    r=$((r + 1))
  done
  row_of brochure "$n" defaults "$work/t-defaults" >>"$results"
  rm -rf "$doc"
done
: >"$work/t-japanese"
: >"$work/t-japanese-defaults"
japanese="$PWD/samples/documents/text/japanese.emf"
r=0
while another_round "$r" "$work/t-japanese" "$work/t-japanese-defaults"; do
  run_road direct "$work/t-japanese" "$printhost" print --printer Bench "$japanese"
  run_road defaults "$work/t-japanese-defaults" "$printhost" print --printer Bench "$japanese"
  r=$((r + 1))
done
row_of japanese 1 direct "$work/t-japanese" >>"$results"
row_of japanese 1 defaults "$work/t-japanese-defaults" >>"$results"

echo "Wall clock, processor time (user + system) and peak resident memory of each process; median of $runs to $max_runs runs (at least ${min_seconds} s of each road's time a row); files in $(df --output=fstype "$work" | tail -1 | tr -d ' ')."
echo "Reference: Ghostscript $(gs --version) turning the same drawing (PostScript) into PCL XL, -sDEVICE=pxlmono -r600."
# wall and cpu are the whole process's wall clock and processor time over its
# pages; "+cpu" leaves out what a one-page job costs (start, printer set-up,
# end): (t(N) - t(1)) / (N - 1). The ratios are wall clock and processor time
# over Ghostscript's for the same pages.
awk '
  $3 == "gs" { ref[$1 " " $2] = $4; refw[$1 " " $2] = $6 }
  $2 == 1 { one[$1 " " $3] = $4 }
  { rows[NR] = $0 }
  END {
    printf "%-9s %6s %-10s %9s %9s %9s %8s %7s %7s\n", "document", "pages", "road", "wall ms", "cpu ms", "+cpu ms", "peak MB", "wall÷gs", "cpu÷gs"
    for (i = 1; i <= NR; i++) {
      split(rows[i], f, " ")
      key = f[1] " " f[2]
      ratio = (key in ref && ref[key] > 0) ? sprintf("%.2f", f[4] / ref[key]) : "-"
      wratio = (key in refw && refw[key] > 0) ? sprintf("%.2f", f[6] / refw[key]) : "-"
      k1 = f[1] " " f[3]
      extra = (f[2] > 1 && (k1 in one)) ? sprintf("%.3f", 1000 * (f[4] - one[k1]) / (f[2] - 1)) : "-"
      printf "%-9s %6d %-10s %9.3f %9.3f %9s %8.1f %7s %7s\n", f[1], f[2], f[3], 1000 * f[6] / f[2], 1000 * f[4] / f[2], extra, f[5] / 1024, wratio, ratio
    }
  }' "$results"
# Flatness per road: the cost per page at the largest page count over that at
# 1,000 pages (above 1: a page costs more in a longer job), in wall clock and
# in processor time.
awk '
  $1 == "brochure" && $2 >= 1000 { t[$3 " " $2] = $4; w[$3 " " $2] = $6; if ($2 > big[$3]) big[$3] = $2 }
  END {
    for (r in big) {
      n = big[r]
      if (n == 1000 || !((r " 1000") in t) || t[r " 1000"] <= 0 || w[r " 1000"] <= 0) continue
      printf "%-10s flatness, cost per page at %d pages over 1,000: wall %.2f, cpu %.2f\n", r, n,
        (w[r " " n] / n) / (w[r " 1000"] / 1000), (t[r " " n] / n) / (t[r " 1000"] / 1000)
    }
  }' "$results"
