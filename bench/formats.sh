#!/usr/bin/env bash
# WebP, MP3, Opus, WebM and pictures into one PDF, each side by side with the command-line tool
# that does the same work with the same settings: `vips copy`, `ffmpeg` (the same encoder at the
# same bit rate or quality) and `img2pdf`. Prints a Markdown table: median wall time and peak
# memory over REPEAT runs, Pivana's time as a ratio to the other's (below 1 is faster), and for
# the PDF both files' sizes. The tools are timed as the app runs them, with the arguments it gives.
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$@"
FF=(ffmpeg -v error -y -nostdin)

# Inputs: a 12-megapixel photo (from the corpus photo when present), twenty 12-megapixel JPEG
# photos, a minute of stereo music-like sound, and a 10-second 1080p clip that needs encoding.
make_photo "$WORK/photo.v"
vips copy "$WORK/photo.v" "$WORK/photo.jpg[Q=90]"
photos=()
for i in $(seq -w 1 20); do
    vips flip "$WORK/photo.v" "$WORK/flipped.v" $([ $((10#$i % 2)) = 0 ] && echo horizontal || echo vertical)
    vips copy "$WORK/flipped.v" "$WORK/photo-$i.jpg[Q=$((70 + 10#$i))]"
    photos+=("$WORK/photo-$i.jpg")
done
"${FF[@]}" -f lavfi -i "sine=frequency=220:duration=60,aeval=0.5*val(0)+0.2*sin(2*PI*330*t)|0.5*val(0)+0.2*sin(2*PI*440*t):c=stereo" \
    -ar 44100 -c:a flac "$WORK/music.flac"
"${FF[@]}" -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=10 -f lavfi -i sine=duration=10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 "$WORK/clip.mp4"

echo "| conversion | pivana | other tool | pivana / other |"
echo "|---|---|---|---|"

measure ours "$BIN/pivana-image" --to webp --quality 85 "$WORK/photo.jpg" "$WORK/out.webp"
measure theirs vips copy "$WORK/photo.jpg" "$WORK/vips.webp[Q=85]"
row2 "jpg to webp, 12 MP, Q 85 (vips copy)" "$ours" "$theirs"

measure ours "$BIN/pivana-audio" --to mp3 --bitrate 192000 "$WORK/music.flac" "$WORK/out.mp3"
measure theirs "${FF[@]}" -i "$WORK/music.flac" -c:a libmp3lame -b:a 192k "$WORK/ff.mp3"
row2 "flac to mp3, 60 s stereo, 192 kbit/s (ffmpeg libmp3lame)" "$ours" "$theirs"

measure ours "$BIN/pivana-audio" --to opus --bitrate 192000 "$WORK/music.flac" "$WORK/out.opus"
measure theirs "${FF[@]}" -i "$WORK/music.flac" -c:a libopus -b:a 192k "$WORK/ff.opus"
row2 "flac to opus, 60 s stereo, 192 kbit/s (ffmpeg libopus)" "$ours" "$theirs"

measure ours env SVT_LOG=0 "$BIN/pivana-video" --to webm "$WORK/clip.mp4" "$WORK/out.webm"
measure theirs env SVT_LOG=0 "${FF[@]}" -i "$WORK/clip.mp4" -c:v libsvtav1 -crf 35 -preset 8 \
    -pix_fmt yuv420p -c:a libopus -b:a 256k "$WORK/ff.webm"
row2 "mp4 to webm, 10 s 1080p, AV1 CRF 35 preset 8 + Opus (ffmpeg)" "$ours" "$theirs"

measure ours "$BIN/pivana-image" --to pdf "${photos[@]}" "$WORK/out.pdf"
measure theirs img2pdf -o "$WORK/img2pdf.pdf" "${photos[@]}"
row2 "20 jpg photos (12 MP) to one pdf (img2pdf)" "$ours" "$theirs"

echo
awk -v a="$(stat -c %s "$WORK/out.pdf")" -v b="$(stat -c %s "$WORK/img2pdf.pdf")" \
    'BEGIN { printf "PDF of the 20 photos: %.1f MB from pivana-image, %.1f MB from img2pdf (%+d bytes).\n", a / 1e6, b / 1e6, a - b }'
