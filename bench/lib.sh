# Shared set-up and helpers for the benchmark scripts: timing with peak memory, medians, table
# rows. Sourced with the script's arguments: the first names the build folder (default build).

BUILD=${1:-build}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN="$ROOT/$BUILD/bin"
CORPUS="$ROOT/../shared/corpus"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pivana-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# measure OUT_VAR CMD...: runs CMD $REPEAT times; sets OUT_VAR to "median_seconds peak_kb".
measure() {
    local __out=$1; shift
    local times=() peak=0 line t m
    for _ in $(seq "${REPEAT:-3}"); do
        if ! /usr/bin/time -f "%e %M" -o "$WORK/.time" "$@" >/dev/null 2>"$WORK/.err"; then
            printf -v "$__out" '%s' "failed"
            return
        fi
        line=$(tail -n 1 "$WORK/.time"); t=${line% *}; m=${line#* }
        times+=("$t"); [ "$m" -gt "$peak" ] && peak=$m
    done
    local median
    median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    printf -v "$__out" '%s %s' "$median" "$peak"
}

# row LABEL OURS FLOOR OTHER...: prints a Markdown row with time, memory and ratio to FLOOR.
row() {
    local label=$1 ours=$2 floor=$3; shift 3
    local cells="| $label | $(cell "$ours") | $(cell "$floor")"
    for other in "$@"; do cells+=" | $(cell "$other")"; done
    cells+=" | $(ratio "$ours" "$floor") |"
    for other in "$@"; do cells+=" $(ratio "$ours" "$other") |"; done
    echo "$cells"
}

cell() {
    [ "$1" = failed ] && { echo "failed"; return; }
    awk -v t="${1% *}" -v m="${1#* }" 'BEGIN { printf "%.2f s, %d MB", t, m / 1024 }'
}

ratio() {
    { [ "$1" = failed ] || [ "$2" = failed ]; } && { echo "n/a"; return; }
    awk -v a="${1% *}" -v b="${2% *}" 'BEGIN { if (b <= 0) print "n/a"; else printf "%.2fx", a / b }'
}

# row2 LABEL OURS OTHER: a row with both cells and Pivana's ratio to the other.
row2() { echo "| $1 | $(cell "$2") | $(cell "$3") | $(ratio "$2" "$3") |"; }

# make_photo OUT.v: a 12-megapixel photo-like picture, from the corpus photo when present.
make_photo() {
    vips gaussnoise "$WORK/noise.v" 4000 3000 --sigma 18 --mean 0
    vips bandjoin "$WORK/noise.v $WORK/noise.v $WORK/noise.v" "$WORK/noise3.v"
    if [ -f "$CORPUS/image/jpeg-photo-1920x1080.jpeg" ]; then
        vips resize "$CORPUS/image/jpeg-photo-1920x1080.jpeg" "$WORK/base.v" 2.0834
        vips extract_area "$WORK/base.v" "$WORK/base2.v" 0 0 4000 2250
        vips embed "$WORK/base2.v" "$WORK/base3.v" 0 0 4000 3000 --extend mirror
        vips add "$WORK/base3.v" "$WORK/noise3.v" "$WORK/sum.v"
        vips cast "$WORK/sum.v" "$1" uchar
    else
        vips linear "$WORK/noise3.v" "$1" 1 128 --uchar
    fi
}
