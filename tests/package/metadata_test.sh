#!/usr/bin/env bash
# The desktop entry, the AppStream metadata and the man page pass their validators without a
# warning. Run on a folder laid out as installed (share/...), from the build or a package.
# usage: metadata_test.sh SHARE_FOLDER
set -uo pipefail
share=$1
failures=0
check() {  # name, command...: fails on a non-zero exit or on anything printed but hints
    local name=$1
    shift
    local output
    output=$("$@" 2>&1)
    local status=$?
    output=$(grep -v -e ': hint: ' -e '^P: ' -e '^✔ Validation was successful' -e '^$' <<<"$output")
    if ((status != 0)) || [[ -n $output ]]; then
        echo "FAIL $name (exit $status):"
        echo "$output"
        failures=$((failures + 1))
    fi
}

check "desktop entry" desktop-file-validate "$share/applications/io.pivana.Pivana.desktop"
check "metainfo" appstreamcli validate --no-net "$share/metainfo/io.pivana.Pivana.metainfo.xml"
check "man page" bash -c "zcat '$share/man/man1/pivana.1.gz' | groff -man -ww -z"
for size in 16 22 24 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x${size}/apps/io.pivana.Pivana.png
    [[ $(file -b "$icon") == "PNG image data, $size x $size,"* ]] || check "icon $size" false
done

if ((failures)); then
    echo "$failures failed"
    exit 1
fi
echo "metadata: all valid"
