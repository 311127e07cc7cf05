#!/usr/bin/env bash
# A batch of ten documents through Pivana side by side with the LibreOffice command line, which
# starts a fresh office for each file, and with one LibreOffice run handed all ten at once.
# Prints a Markdown table: median wall time and peak memory over REPEAT runs.
set -euo pipefail
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN="$ROOT/$BUILD/bin"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pivana-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
source "$ROOT/bench/lib.sh"

mkdir -p "$WORK/docs" "$WORK/out"
for i in $(seq 1 10); do
    {
        echo "<html><body><h1>Report $i</h1>"
        for p in $(seq 1 40); do echo "<p>Paragraph $p of report $i, with some ordinary words in it.</p>"; done
        echo "</body></html>"
    } > "$WORK/docs/report$i.html"
done
profile="file://$WORK/profile"
soffice -env:UserInstallation="$profile" --headless --terminate_after_init >/dev/null 2>&1 || true

echo "| ten HTML documents to DOCX | time, peak memory | per document | pivana / other |"
echo "|---|---|---|---|"
measure ours "$BIN/pivana" --to docx "$WORK"/docs/*.html
measure cold sh -c "for f in '$WORK'/docs/*.html; do soffice -env:UserInstallation='$profile' --headless --convert-to docx --outdir '$WORK/out' \"\$f\" >/dev/null 2>&1; done"
measure once sh -c "soffice -env:UserInstallation='$profile' --headless --convert-to docx --outdir '$WORK/out' '$WORK'/docs/*.html >/dev/null 2>&1"
per() { awk -v t="${1% *}" 'BEGIN { printf "%.2f s", t / 10 }'; }
echo "| pivana --to docx | $(cell "$ours") | $(per "$ours") | |"
echo "| soffice --convert-to, one file a run | $(cell "$cold") | $(per "$cold") | $(ratio "$ours" "$cold") |"
echo "| soffice --convert-to, all ten in one run | $(cell "$once") | $(per "$once") | $(ratio "$ours" "$once") |"
echo
echo "Peak memory is that of the command itself; the office Pivana keeps running is a process of its own."
