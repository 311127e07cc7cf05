#!/usr/bin/env bash
# The Debian package, built from this build folder with cpack.
# usage: deb_test.sh build BUILD_FOLDER         builds it into BUILD_FOLDER/package
#        deb_test.sh installs BUILD_FOLDER      unpacks it into a fresh root and uses it there
#        deb_test.sh resolves BUILD_FOLDER      apt can satisfy its Depends on this machine
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
packages=$build/package

deb() {
    local found=("$packages"/pivana_*.deb)
    [[ -f ${found[0]} ]] || { echo "no package in $packages: run the build step first" >&2; exit 1; }
    echo "${found[0]}"
}

case $mode in
build)
    rm -rf "$packages"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$packages" >/dev/null
    rm -rf "$packages/_CPack_Packages"
    deb
    ;;
installs)
    package=$(deb)
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    dpkg-deb -x "$package" "$root"
    # The desktop entry, metadata, icons and man page are checked by metadata_test.sh below.
    for path in bin/pivana libexec/pivana/pivana-image libexec/pivana/pivana-audio libexec/pivana/pivana-video \
        libexec/pivana/pivana-office libexec/pivana/office-bridge.py \
        share/kio/servicemenus/pivana-convert-image.desktop \
        share/{nautilus,nemo,caja}-python/extensions/pivana_convert.py \
        share/bash-completion/completions/pivana share/doc/pivana/copyright; do
        [[ -e $root/usr/$path ]] || { echo "FAIL: the package lacks /usr/$path"; exit 1; }
    done
    "$here/metadata_test.sh" "$root/usr/share"

    pivana=$root/usr/bin/pivana
    [[ $("$pivana" --version) == "pivana "* ]] || { echo "FAIL: --version"; exit 1; }
    # A BMP goes through pivana-image, which pivana must find in ../libexec/pivana.
    work=$(mktemp -d)
    trap 'rm -rf "$root" "$work"' EXIT
    convert -size 3x2 xc:red "$work/dot.bmp"
    XDG_CONFIG_HOME=$work/config "$pivana" --to png "$work/dot.bmp"
    [[ $(file -b "$work/dot.png") == "PNG image data, 3 x 2,"* ]] || { echo "FAIL: no PNG written"; exit 1; }
    echo "installed package works"
    ;;
resolves)
    apt-get install --simulate --no-install-recommends "$(deb)"
    ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
