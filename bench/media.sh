#!/usr/bin/env bash
# Pivana's audio, video and GIF conversions side by side with the ffmpeg command line doing the
# same work with equivalent settings. Prints a Markdown table: median wall time and peak memory
# over REPEAT runs, and Pivana's time as a ratio to ffmpeg's (below 1 is faster).
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$@"
FF=(ffmpeg -v error -y -nostdin)

# Inputs: a minute of stereo music-like sound, a 10-second 1080p clip that needs re-encoding
# (MPEG-4 Visual with PCM sound in AVI), the same clip as H.264/AAC in Matroska (a container
# change that can be copied), and a 200-frame 480x360 GIF.
"${FF[@]}" -f lavfi -i "sine=frequency=220:duration=60,aeval=0.5*val(0)+0.2*sin(2*PI*330*t)|0.5*val(0)+0.2*sin(2*PI*440*t):c=stereo" \
    -ar 44100 -c:a flac "$WORK/music.flac"
"${FF[@]}" -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=10 -f lavfi -i sine=duration=10 \
    -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ac 2 "$WORK/clip.avi"
"${FF[@]}" -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=10 -f lavfi -i sine=duration=10 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 "$WORK/clip.mkv"
"${FF[@]}" -f lavfi -i testsrc2=size=480x360:rate=20:duration=10 -vf split[a][b]\;[a]palettegen[p]\;[b][p]paletteuse "$WORK/anim.gif"

echo "| conversion | pivana | ffmpeg | pivana / ffmpeg |"
echo "|---|---|---|---|"
# Audio rows time pivana-audio itself, as the app runs it, with the arguments it gets.
"${FF[@]}" -i "$WORK/music.flac" "$WORK/music.wav"
ff_audio=(
    "m4a|music.flac|-c:a aac -b:a 192k"
    "wav|music.flac|-c:a pcm_s16le"
    "aiff|music.flac|-c:a pcm_s16be"
    "aac|music.flac|-c:a aac -b:a 192k"
    "flac|music.wav|-c:a flac"
)
for entry in "${ff_audio[@]}"; do
    IFS='|' read -r target input options <<<"$entry"
    rate=()
    case $target in m4a|aac) rate=(--bitrate 192000) ;; esac
    measure ours "$BIN/pivana-audio" --to "$target" "${rate[@]}" "$WORK/$input" "$WORK/out.$target"
    # shellcheck disable=SC2086
    measure theirs "${FF[@]}" -i "$WORK/$input" $options "$WORK/ff.$target"
    row2 "${input##*.} to $target, 60 s stereo (pivana-audio)" "$ours" "$theirs"
done

measure ours "$BIN/pivana" --to mp4 "$WORK/clip.avi"
measure theirs "${FF[@]}" -i "$WORK/clip.avi" -c:v libx264 -crf 18 -preset medium -pix_fmt yuv420p \
    -c:a aac -b:a 256k "$WORK/ff-transcode.mp4"
transcode=$ours
row2 "avi to mp4, 10 s 1080p, re-encoded" "$ours" "$theirs"

measure ours "$BIN/pivana" --to mp4 "$WORK/clip.mkv"
measure theirs "${FF[@]}" -i "$WORK/clip.mkv" -c copy "$WORK/ff-copy.mp4"
row2 "mkv to mp4, 10 s 1080p, streams copied" "$ours" "$theirs"
copied=$ours

measure ours "$BIN/pivana" --to gif "$WORK/clip.mkv"
filters="fps=10,scale=640:360:flags=lanczos"
measure theirs sh -c "${FF[*]} -t 30 -i '$WORK/clip.mkv' -vf '$filters,palettegen' '$WORK/palette.png' &&
    ${FF[*]} -t 30 -i '$WORK/clip.mkv' -i '$WORK/palette.png' -lavfi '$filters[x];[x][1:v]paletteuse' '$WORK/ff.gif'"
row2 "mkv to gif, 10 s 1080p (ffmpeg: two-pass palette)" "$ours" "$theirs"

measure ours "$BIN/pivana" --to mp4 "$WORK/anim.gif"
measure theirs "${FF[@]}" -i "$WORK/anim.gif" -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2,format=yuv420p" \
    -c:v libx264 -crf 18 -preset medium "$WORK/ff-anim.mp4"
row2 "gif to mp4, 200 frames 480x360" "$ours" "$theirs"

echo
awk -v a="${transcode% *}" -v b="${copied% *}" \
    'BEGIN { printf "Copying the streams of the same clip is %.0fx faster than re-encoding it.\n", a / b }'
