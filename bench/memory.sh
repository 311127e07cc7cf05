#!/usr/bin/env bash
# The tray app's resident memory and how fast its panel opens, as a user's desktop sees it. Runs
# the real app on a private X server (Xvfb) with a window manager (openbox), a tray (trayer) and
# a session bus, as a new user would meet it: in the tray, its panel not opened. Reads VmRSS and
# VmHWM from /proc/PID/status:
#   - 10 s after start, the panel never opened;
#   - for each batch (a 10-second 1080p clip re-encoded; 20 SVG drawings, drawn by pivana-image,
#     twice): idle
#     before, the peak while converting, and a minute after the batch with the panel closed.
# The batches are handed over as "Open With" does, and the first format chip is clicked.
# Panel opening is timed by bench/first_frame.py from the click on the tray icon to the first
# frame of the panel on screen: its first opening, opening again at once, and opening again
# after a minute closed. Prints Markdown tables.
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$@"
FF=(ffmpeg -v error -y -nostdin)

"${FF[@]}" -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=10 -f lavfi -i sine=duration=10 \
    -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ac 2 "$WORK/clip.avi"
mkdir "$WORK/drawings"
for i in $(seq -w 1 20); do
    cat >"$WORK/drawings/drawing$i.svg" <<EOF
<svg xmlns="http://www.w3.org/2000/svg" width="2400" height="1800" viewBox="0 0 240 180">
  <defs><linearGradient id="g"><stop offset="0" stop-color="#0a6"/><stop offset="1" stop-color="#06c"/></linearGradient></defs>
  <rect width="240" height="180" fill="url(#g)"/>
  <circle cx="$((60 + 10#$i * 5))" cy="90" r="50" fill="#fc0" opacity="0.8"/>
  <text x="20" y="160" font-size="24" font-family="sans-serif">Drawing $i</text>
</svg>
EOF
done

display=:$((150 + $$ % 50))
export DISPLAY=$display XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/runtime"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp 2>/dev/null &
pids+=($!)
until [ -S "/tmp/.X11-unix/X${display#:}" ]; do sleep 0.1; done
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
pids+=("$bus")
openbox >/dev/null 2>&1 &
pids+=($!)
# A tray of 28 pixels in the top right corner, as the end-to-end tests have it: the icon's middle
# is at (1266, 14), and the 300-pixel panel opens under it against the screen's right edge.
trayer --edge top --align right --widthtype pixel --width 28 --height 28 --transparent true \
    --alpha 0 --tint 0x303030 >/dev/null 2>&1 &
pids+=($!)
until xdotool search --class trayer >/dev/null 2>&1; do sleep 0.1; done
sleep 1
"$BIN/pivana" 2>/dev/null &
app=$!
pids+=($app)
started=$(date +%s.%N)
ICON_X=1266 ICON_Y=14
PANEL_STRIP=990,38,280,6  # a strip of the panel's background under its top edge

# until_true CONDITION...: polls a command for up to five minutes.
until_true() {
    for _ in $(seq 3000); do "$@" && return 0; sleep 0.1; done
    echo "gave up waiting for: $*" >&2
    exit 1
}
panel_shown() { xdotool search --onlyvisible --name '^Pivana$' >/dev/null 2>&1; }
panel_hidden() { ! panel_shown; }
kb() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$app/status"; }
mb() { awk -v kb="$1" 'BEGIN { printf "%.0f MB", kb / 1024 }'; }

# Resident memory once it stops moving: a few samples a second apart within 1 MB of each other.
settled_rss() {
    local last=0 now
    for _ in $(seq 30); do
        sleep 1
        now=$(kb VmRSS)
        if [ $((now - last)) -lt 1024 ] && [ $((last - now)) -lt 1024 ]; then break; fi
        last=$now
    done
    echo "$now"
}

# The first format chip: the third band of dark rows in a screenshot of the panel (state icon,
# the batch's name, then the chips), at the left end of its ink.
click_first_chip() {
    local id geometry x y w h bands top bottom left
    id=$(xdotool search --onlyvisible --name '^Pivana$' | head -n 1)
    geometry=$(xdotool getwindowgeometry --shell "$id")
    x=$(sed -n 's/^X=//p' <<<"$geometry"); y=$(sed -n 's/^Y=//p' <<<"$geometry")
    w=$(sed -n 's/^WIDTH=//p' <<<"$geometry"); h=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
    import -window root -crop "$((w - 8))x$((h - 8))+$((x + 4))+$((y + 4))" +repage "$WORK/panel.png"
    bands=$(convert "$WORK/panel.png" -colorspace gray -threshold 62.7% -negate -scale '1x!' txt:- |
        awk -F'[,:]' 'NR > 1 { ink = ($0 !~ /gray\(0\)/) }
            NR > 1 && ink && !inside { top = $2 } NR > 1 && !ink && inside { print top, $2 - 1 }
            NR > 1 { inside = ink }' | sed -n 3p)
    [ -n "$bands" ] || return 1
    read -r top bottom <<<"$bands"
    left=$(convert "$WORK/panel.png" -crop "$((w - 8))x$((bottom - top + 1))+0+$top" +repage \
        -colorspace gray -threshold 62.7% -negate -scale 'x1!' txt:- |
        awk -F'[,:]' 'NR > 1 && $0 !~ /gray\(0\)/ { print $1; exit }')
    xdotool mousemove $((x + 4 + left + 8)) $((y + 4 + (top + bottom) / 2)) click 1
}

# open_panel: clicks the tray icon; prints the milliseconds to the panel's first frame.
open_panel() {
    local ms
    ms=$(python3 "$ROOT/bench/first_frame.py" click "$ICON_X" "$ICON_Y" "$PANEL_STRIP")
    until_true panel_shown
    echo "$ms"
}

# close_panel: a click elsewhere, as a user closes it.
close_panel() {
    xdotool mousemove 400 600 click 1
    until_true panel_hidden
}

# batch LABEL OUTPUT FILE...: hands the files to the app, converts them to the first format
# offered, waits for OUTPUT, closes the panel and waits a minute; prints the row of the table.
batch() {
    local label=$1 output=$2 before peak after; shift 2
    before=$(settled_rss)
    "$BIN/pivana" "$@" 2>/dev/null
    echo 5 >"/proc/$app/clear_refs"  # the peak from here on
    until_true click_first_chip
    until_true test -e "$output"
    peak=$(kb VmHWM)
    sleep 2  # the panel shows the outcome
    close_panel
    sleep 60
    after=$(kb VmRSS)
    rows+=("| $label | $(mb "$before") | $(mb "$peak") | $(mb "$after") |")
    reopened+=("$(open_panel)")
    close_panel
}

# At 10 s after start, the app has settled in the tray.
app_window() { xdotool search --class pivana >/dev/null 2>&1; }
until_true app_window
sleep "$(awk -v s="$started" -v now="$(date +%s.%N)" 'BEGIN { w = s + 10 - now; print (w > 0 ? w : 0) }')"
idle=$(kb VmRSS)
threads=$(cat /proc/$app/task/*/comm | sort | uniq -c |
    awk '{ n = $1; $1 = ""; sub(/^ /, ""); printf "%s%s x%d", sep, $0, n; sep = ", " }')

first=$(open_panel)
close_panel
again=()
for _ in 1 2 3 4 5; do
    sleep 1
    again+=("$(open_panel)")
    close_panel
done
median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

rows=()
reopened=()
batch "avi to mp4, 10 s 1080p, re-encoded" "$WORK/clip.mp4" "$WORK/clip.avi"
batch "20 svg to jpg, 2400 x 1800" "$WORK/drawings/drawing20.jpg" "$WORK"/drawings/*.svg
rm "$WORK"/drawings/*.jpg
batch "the same 20 svg again" "$WORK/drawings/drawing20.jpg" "$WORK"/drawings/*.svg

echo "Idle 10 s after start, the panel never opened: $(mb "$idle") resident"
echo "(threads: $threads)"
echo
echo "| batch | idle before | peak while converting | a minute after, panel closed |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo
echo "| panel opening, click to first frame | ms |"
echo "|---|---|"
echo "| first opening after start | $first |"
echo "| opened again at once (median of ${#again[@]}: ${again[*]}) | $(median "${again[@]}") |"
echo "| opened again after a minute closed (median of ${#reopened[@]}: ${reopened[*]}) | $(median "${reopened[@]}") |"
