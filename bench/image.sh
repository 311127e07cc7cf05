#!/usr/bin/env bash
# pivana-image side by side with `vips copy` (same library: the floor) and ImageMagick `convert`
# on the same inputs. Prints a Markdown table: median wall time and peak memory over REPEAT runs,
# and pivana's time as a ratio to each of the others (below 1 is faster).
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$@"
CONVERT=/usr/bin/convert

# Inputs: a 12-megapixel photo-like picture, its PNG, a HEIC (the corpus iPhone photo when
# present), a 24-megapixel DNG and an SVG.
make_photo "$WORK/photo.v"
vips copy "$WORK/photo.v" "$WORK/photo.jpg[Q=90]"
vips copy "$WORK/photo.v" "$WORK/photo.png"
if [ -f "$CORPUS/image/heic-iphone11pro.heic" ]; then
    cp "$CORPUS/image/heic-iphone11pro.heic" "$WORK/photo.heic"
else
    # Written by pivana-image: Debian 12's vips cannot save HEIC on libheif 1.18 and later.
    "$BIN/pivana-image" --to heic "$WORK/photo.png" "$WORK/photo.heic"
fi
"$BIN/pivana-bench-fixtures" dng "$WORK/photo.dng" 6000 4000
cat > "$WORK/drawing.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="800" height="600" viewBox="0 0 800 600">
  <defs><linearGradient id="g"><stop offset="0" stop-color="#1d6fd6"/><stop offset="1" stop-color="#f2b33d"/></linearGradient></defs>
  <rect width="800" height="600" fill="url(#g)"/>
  <g fill="none" stroke="#fff" stroke-width="3">
    <circle cx="400" cy="300" r="200"/><circle cx="400" cy="300" r="120"/><path d="M0 600 L800 0"/>
  </g>
  <text x="400" y="320" font-family="sans-serif" font-size="64" text-anchor="middle" fill="#fff">Pivana</text>
</svg>
SVG

echo "| conversion | pivana | floor: same library | other tool | pivana / floor | pivana / other |"
echo "|---|---|---|---|---|---|"
run_case() {
    local label=$1 input=$2 format=$3 extension=$4 vipsout=$5
    local ours floor magick
    local quality=()
    [ "$format" = jpg ] && quality=(--quality 85)
    measure ours "$BIN/pivana-image" --to "$format" "${quality[@]}" "$input" "$WORK/out-pivana.$extension"
    measure floor vips copy "$input" "$WORK/out-vips.$vipsout"
    measure magick "$CONVERT" "$input" -quality 85 "$WORK/out-magick.$extension"
    row "$label (vips copy; convert)" "$ours" "$floor" "$magick"
}
run_case "jpg to png, 12 MP" "$WORK/photo.jpg" png png png
run_case "png to jpg, 12 MP" "$WORK/photo.png" jpg jpg "jpg[Q=85]"
run_case "heic to jpg, 12 MP" "$WORK/photo.heic" jpg jpg "jpg[Q=85]"
# A photo from iOS 18 and later, with its HDR gain map and tone map: only libheif 1.18 and
# later read it.
if [ -f "$CORPUS/image/heic-iphone15pro-ios26.heic" ]; then
    cp "$CORPUS/image/heic-iphone15pro-ios26.heic" "$WORK/iphone.heic"
    run_case "iPhone heic with gain map to jpg, 12 MP" "$WORK/iphone.heic" jpg jpg "jpg[Q=85]"
fi

# libvips cannot develop RAW (it reads the mosaic as a grey TIFF): LibRaw's own command-line
# developer is the floor, writing an uncompressed TIFF, and the pipe through cjpeg-like
# ImageMagick the other tool.
measure ours "$BIN/pivana-image" --to jpg --quality 85 "$WORK/photo.dng" "$WORK/out-pivana.jpg"
measure floor dcraw_emu -w -T -Z "$WORK/out-dcraw.tiff" "$WORK/photo.dng"
measure magick sh -c "dcraw_emu -w -T -Z - '$WORK/photo.dng' | $CONVERT tiff:- -quality 85 '$WORK/out-magick.jpg'"
row "dng to jpg, 24 MP (dcraw_emu to tiff; dcraw_emu + convert)" "$ours" "$floor" "$magick"

# SVG as the app converts it: the command line, with its Qt start-up, runs pivana-image, which
# draws the document. ImageMagick's own SVG renderer cannot draw text here, so rsvg-convert is
# the other tool.
measure ours "$BIN/pivana" --to png "$WORK/drawing.svg"
measure floor vips copy "$WORK/drawing.svg[scale=2]" "$WORK/out-vips.png"
measure magick rsvg-convert --zoom 2 -o "$WORK/out-rsvg.png" "$WORK/drawing.svg"
row "svg to png, 1600 x 1200 (vips copy; rsvg-convert)" "$ours" "$floor" "$magick"
