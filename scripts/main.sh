#!/usr/bin/env bash
# The main job: builds the package, installs the sample printer on the large
# sample model in a fresh machine root, prints the sample documents through the
# whole package with the printer's own settings and on the other roads, each
# stream written where printhost says, shows the printer stream of the brochure
# decoded and draws its pages into PNG files for a person to look at.
# MAIN_JOB_PRESET names another CMake preset to build and run it with (dev
# when not given).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${MAIN_JOB_PRESET:-dev}"

bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
# What the job runs: printhost, the sample models and the driver folder's
# files (every library and program that printhost installs and the graphics
# library loads). `bash scripts/test.sh` builds everything.
cmake --build --preset "$preset" --target printhost sample_models driver_folder
# A fresh machine root each run, unless one is given.
if [[ -z "${PRINTHOST_ROOT:-}" ]]; then
  export PRINTHOST_ROOT="$PWD/build/$preset/main-job"
  rm -rf "$PRINTHOST_ROOT"
fi
mkdir -p "$PRINTHOST_ROOT"
printhost="build/$preset/bin/printhost"
"$printhost" install --name "Velmora CX5540" --model "build/$preset/models/CX5540.DAT"
# With the printer's own settings: the model's defaults reverse the page order
# and use the graphics mode, both carried out by the spool-side player, which
# replays each job into a new one; --output holds the replayed stream.
mkdir -p "$PRINTHOST_ROOT/defaults"
for doc in lines shapes fills clipping pictures; do
  "$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/defaults/$doc.prn" "samples/documents/$doc.emf"
done
for doc in brochure text; do
  "$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/defaults/$doc.prn" "samples/documents/$doc"
done
"$printhost" decode --png "$PRINTHOST_ROOT/defaults/pictures" "$PRINTHOST_ROOT/defaults/pictures.prn" | tail -n 1
# Straight into the printer stream: neither the driver's page order nor its
# graphics mode.
"$printhost" devmode "Velmora CX5540" --set ReverseOrder=0 --set GraphicsMode=0 --store >/dev/null
for doc in lines shapes fills clipping; do
  "$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/$doc.prn" "samples/documents/$doc.emf"
done
"$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/brochure.prn" samples/documents/brochure
# The text pages (a letter, a table, Japanese text), drawn from the fonts downloaded in their stream.
"$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/text.prn" samples/documents/text
"$printhost" decode --png "$PRINTHOST_ROOT/text" "$PRINTHOST_ROOT/text.prn" | tail -n 4
# One document rendered by the engine in bands and sent as a JBIG page, and
# one in device-surface mode whose fills and gradients go out as images.
"$printhost" print --printer "Velmora CX5540" --banding --output "$PRINTHOST_ROOT/shapes-banded.prn" samples/documents/shapes.emf
"$printhost" decode --png "$PRINTHOST_ROOT/shapes-banded" "$PRINTHOST_ROOT/shapes-banded.prn" | tail -n 3
"$printhost" decode --png "$PRINTHOST_ROOT/fills" "$PRINTHOST_ROOT/fills.prn" | tail -n 3
# Every bitmap record in device-surface mode (the printer's own device mode):
# each image goes out as image blocks and is drawn into the page picture.
"$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/pictures.prn" samples/documents/pictures.emf
"$printhost" decode --png "$PRINTHOST_ROOT/pictures" "$PRINTHOST_ROOT/pictures.prn" | tail -n 3
# The spool-side road: the brochure recorded as a spool package and replayed
# four pages to a sheet by the spool-side player into a new job, whose stream
# is drawn.
"$printhost" devmode "Velmora CX5540" --set LayoutKind=1 --set PagesPerSheet=4 --store >/dev/null
"$printhost" print --printer "Velmora CX5540" --output "$PRINTHOST_ROOT/brochure-4up.prn" samples/documents/brochure
"$printhost" decode --png "$PRINTHOST_ROOT/brochure-4up" "$PRINTHOST_ROOT/brochure-4up.prn" | tail -n 2
# The brochure as a booklet by the spool-side road, printed to a file: the
# model offers booklet only with its duplex unit and a finisher fitted, which
# are marked as the device page does; two pages to a sheet side, folded.
"$printhost" options "Velmora CX5540" --install 25=1 --install 27=2 >/dev/null
"$printhost" devmode "Velmora CX5540" --set LayoutKind=2 --set dmDuplex=3 --store >/dev/null
"$printhost" print --printer "Velmora CX5540" --to-file "$PRINTHOST_ROOT/brochure-booklet.prn" samples/documents/brochure
"$printhost" decode --png "$PRINTHOST_ROOT/brochure-booklet" "$PRINTHOST_ROOT/brochure-booklet.prn" | tail -n 2
# The printer's property sheets as a person sees them: a picture of every
# page of the document sheet and of the device sheet.
"$printhost" properties "Velmora CX5540" --png "$PRINTHOST_ROOT/sheets/document" >/dev/null
"$printhost" properties "Velmora CX5540" --device --png "$PRINTHOST_ROOT/sheets/device" >/dev/null
# The dialogs a person opens from the pages, each pictured as it opens and
# then cancelled: the Basic page's layout dialogs (the booklet's needs the
# duplex unit and finisher fitted above), its cover-page and duplex options,
# the output options, the Quality page's fonts and font substitution table, the Effects page's watermark
# and overlay (opened by a click on their boxes).
dialogs="$PRINTHOST_ROOT/sheets/dialogs"
"$printhost" properties "Velmora CX5540" --page Basic --set "Pages per Sheet=click" --set "Booklet=click" \
    --set "Fit to Output Paper Size=click" --set "Poster=click" --set "Zoom=click" --set "Cover Page...=click" \
    --set "Duplex Option...=click" --png "$dialogs" >/dev/null
"$printhost" properties "Velmora CX5540" --page Output --set "Output Options...=click" --png "$dialogs" >/dev/null
"$printhost" properties "Velmora CX5540" --page Quality --set "Font...=click" \
    --dialog "Font Substitution Table...=click" --png "$dialogs" >/dev/null
"$printhost" properties "Velmora CX5540" --page Effects --set Watermark=click --set Overlay=click --png "$dialogs" >/dev/null
# A job through the prior-print check against the sample device (snmpd, its
# tray 1 empty) on a network printer: the question is answered Yes.
device=(env RUN_DIR="$PRINTHOST_ROOT/sample-device" sh samples/devices/sample-device.sh)
"${device[@]}" start 16161 >/dev/null
trap '"${device[@]}" stop >/dev/null 2>&1 || true' EXIT
"${device[@]}" state tray-empty >/dev/null
"$printhost" install --name "Velmora CX5540 (network)" --model "build/$preset/models/CX5540.DAT" --port IP_127.0.0.1 >/dev/null
"$printhost" devmode "Velmora CX5540 (network)" --set PriorPrintOn=1 --set dmDefaultSource=1 --set dmPaperSize=5 --store >/dev/null
"$printhost" properties "Velmora CX5540 (network)" --page "Job Type" --set "Dept. ID=1234" >/dev/null
"$printhost" print --printer "Velmora CX5540 (network)" --agent-port 16161 --answer yes --output "$PRINTHOST_ROOT/checked.prn"
"${device[@]}" stop >/dev/null
trap - EXIT
echo "pictures of the dialogs: $dialogs"
echo "pictures of the property sheets: $PRINTHOST_ROOT/sheets/document, $PRINTHOST_ROOT/sheets/device"
exec "$printhost" decode --png "$PRINTHOST_ROOT/brochure" "$PRINTHOST_ROOT/brochure.prn"
