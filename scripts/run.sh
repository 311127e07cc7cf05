#!/usr/bin/env bash
# Starts Pivana from the build tree. Until the tray app lands, this shows the headless command
# line at work on a sample image made on the spot.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
bin="$PWD/$BUILD/bin"

sample=$(mktemp -d "${TMPDIR:-/tmp}/pivana-sample.XXXXXX")
/usr/bin/convert -size 640x400 gradient:'#1d6fd6-#f2b33d' -gravity center -pointsize 48 \
    -fill white -annotate 0 'Pivana' "$sample/sample.png"
echo "Sample: $sample/sample.png"
echo "\$ pivana --targets sample.png"
"$bin/pivana" --targets "$sample/sample.png"
echo "\$ pivana --to jpg sample.png"
"$bin/pivana" --to jpg "$sample/sample.png"
ls -l "$sample"
