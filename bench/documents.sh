#!/usr/bin/env bash
# Documents and PDF pages through Pivana side by side with the command-line tools: pdftoppm for
# PDF pages, and LibreOffice's command line, which starts a fresh office for each run. Prints
# Markdown tables: median wall time and peak memory over REPEAT runs, and the ratio of Pivana's
# time to the other's (below 1 is faster).
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$@"

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


# PDF pages: a 12-page document made by LibreOffice from the reports.
cat "$WORK"/docs/report*.html > "$WORK/long.html"
soffice -env:UserInstallation="$profile" --headless --convert-to pdf --outdir "$WORK" "$WORK/long.html" >/dev/null 2>&1
mkdir -p "$WORK/pages"
cp "$WORK/long.pdf" "$WORK/pages/long.pdf"
pages=$(pdfinfo "$WORK/long.pdf" | awk '/^Pages:/ { print $2 }')
echo "| PDF of $pages pages to images | pivana | pdftoppm -r 144 | pivana / pdftoppm |"
echo "|---|---|---|---|"
measure ours "$BIN/pivana" --to png "$WORK/pages/long.pdf"
measure theirs pdftoppm -r 144 -png "$WORK/long.pdf" "$WORK/out/page"
row2 "png" "$ours" "$theirs"
measure ours "$BIN/pivana" --to jpg "$WORK/pages/long.pdf"
measure theirs pdftoppm -r 144 -jpeg -jpegopt quality=85 "$WORK/long.pdf" "$WORK/out/page"
row2 "jpg" "$ours" "$theirs"
echo

# Documents to PDF, each on its own (the office is started for Pivana's first too).
soffice -env:UserInstallation="$profile" --headless --convert-to 'docx:MS Word 2007 XML' --outdir "$WORK/single" "$WORK/docs/report1.html" >/dev/null 2>&1
soffice -env:UserInstallation="$profile" --headless --convert-to 'odt:writer8' --outdir "$WORK/single" "$WORK/docs/report2.html" >/dev/null 2>&1
echo "| document to PDF | pivana | soffice --convert-to pdf | pivana / soffice |"
echo "|---|---|---|---|"
for doc in report1.docx report2.odt; do
    measure ours "$BIN/pivana" --to pdf "$WORK/single/$doc"
    measure theirs soffice -env:UserInstallation="$profile" --headless --convert-to pdf --outdir "$WORK/out" "$WORK/single/$doc"
    row2 "$doc" "$ours" "$theirs"
done
echo

echo "| ten documents to ODT | time, peak memory | per document | pivana / other |"
echo "|---|---|---|---|"
measure ours "$BIN/pivana" --to odt "$WORK"/docs/*.html
measure cold sh -c "for f in '$WORK'/docs/*.html; do soffice -env:UserInstallation='$profile' --headless --convert-to odt --outdir '$WORK/out' \"\$f\" >/dev/null 2>&1; done"
measure once sh -c "soffice -env:UserInstallation='$profile' --headless --convert-to odt --outdir '$WORK/out' '$WORK'/docs/*.html >/dev/null 2>&1"
per() { awk -v t="${1% *}" 'BEGIN { printf "%.2f s", t / 10 }'; }
echo "| pivana --to odt | $(cell "$ours") | $(per "$ours") | |"
echo "| soffice --convert-to, one file a run | $(cell "$cold") | $(per "$cold") | $(ratio "$ours" "$cold") |"
echo "| soffice --convert-to, all ten in one run | $(cell "$once") | $(per "$once") | $(ratio "$ours" "$once") |"
echo
echo "Peak memory is that of the command itself; the office Pivana keeps running is a process of its own."
echo "The text converter typesets PDFs itself (LibreOffice makes the HTML it lays out), so the"
echo "document-to-PDF rows compare different typesetters doing the same job."
