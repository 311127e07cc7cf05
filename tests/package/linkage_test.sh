#!/usr/bin/env bash
# The tray app parses no untrusted file itself: SVG and PDF pages are drawn in pivana-image, so
# the app links neither librsvg nor poppler (nor libvips, which would bring librsvg back). The
# tool does, which shows the check reads what it means to.
# usage: linkage_test.sh BIN_FOLDER
set -uo pipefail
bin=$1
failures=0
libraries() { ldd "$1" | awk '{ print $1 }'; }

app=$(libraries "$bin/pivana") || { echo "FAIL ldd cannot read $bin/pivana"; exit 1; }
for library in librsvg-2 libpoppler libvips; do
    if grep -q "^$library" <<<"$app"; then
        echo "FAIL pivana links $(grep "^$library" <<<"$app" | tr '\n' ' ')"
        failures=$((failures + 1))
    fi
done

tool=$(libraries "$bin/pivana-image") || { echo "FAIL ldd cannot read $bin/pivana-image"; exit 1; }
for library in librsvg-2 libpoppler-glib libvips; do
    if ! grep -q "^$library" <<<"$tool"; then
        echo "FAIL pivana-image does not link $library"
        failures=$((failures + 1))
    fi
done

if ((failures)); then
    exit 1
fi
echo "linkage: pivana links no SVG or PDF library; pivana-image does"
