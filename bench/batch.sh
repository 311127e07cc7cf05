#!/usr/bin/env bash
# A batch of photos through `pivana --to jpg` side by side with what a user would script: a
# sequential `vips copy` loop, and the same with `xargs -P` over the cores. Prints a Markdown
# table: median wall time and peak memory (the largest single process) over REPEAT runs, and
# Pivana's time as a ratio to each (below 1 is faster).
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$@"

# Twenty 12-megapixel HEIC photos: the corpus iPhone photo when present, else one made here.
mkdir -p "$WORK/photos" "$WORK/config"
if [ -f "$CORPUS/image/heic-iphone11pro.heic" ]; then
    cp "$CORPUS/image/heic-iphone11pro.heic" "$WORK/photo.heic"
else
    vips gaussnoise "$WORK/noise.v" 4000 3000 --sigma 30 --mean 128
    vips bandjoin "$WORK/noise.v $WORK/noise.v $WORK/noise.v" "$WORK/noise3.v"
    vips cast "$WORK/noise3.v" "$WORK/photo.v" uchar
    # Written by pivana-image: Debian 12's vips cannot save HEIC on libheif 1.18 and later.
    vips copy "$WORK/photo.v" "$WORK/photo.png"
    "$BIN/pivana-image" --to heic "$WORK/photo.png" "$WORK/photo.heic"
fi
for i in $(seq -w 1 20); do cp "$WORK/photo.heic" "$WORK/photos/IMG_00$i.heic"; done
cores=$(nproc)

# Pivana with the default settings (quality 85), never the user's own: "Replace original" there
# would delete the photos.
export XDG_CONFIG_HOME="$WORK/config"
measure ours "$BIN/pivana" --to jpg "$WORK"/photos/*.heic
measure sequential sh -c 'for f in "$1"/*.heic; do vips copy "$f" "${f%.heic}.jpg[Q=85]"; done' \
    sh "$WORK/photos"
measure parallel sh -c 'printf "%s\n" "$1"/*.heic |
    xargs -P "$2" -I{} sh -c '"'"'vips copy "$1" "${1%.heic}.jpg[Q=85]"'"'"' sh {}' \
    sh "$WORK/photos" "$cores"

echo "| 20 photos, 12 MP HEIC to JPG | pivana --to jpg | vips copy, one after another | xargs -P$cores vips copy | pivana / sequential | pivana / parallel |"
echo "|---|---|---|---|---|---|"
row "$cores cores" "$ours" "$sequential" "$parallel"
