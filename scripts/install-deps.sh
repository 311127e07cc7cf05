#!/usr/bin/env bash
# Installs every Debian 12 package Pivana needs to build, run, test and benchmark.
# Idempotent: only packages that are not installed yet are handed to apt-get.
set -euo pipefail

PACKAGES=(
  # build (librsvg2-bin renders the icons)
  g++ cmake ninja-build pkg-config clang-format librsvg2-bin
  # still images
  libvips-dev libvips-tools libraw-dev libtiff-dev librsvg2-dev libcairo2-dev libheif-dev
  # audio, video, GIF
  libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev
  # application framework
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtqml-workerscript
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
  qml6-module-qtquick-dialogs libxcb1-dev libxcb-xinput-dev
  # PDF pages, drawn by pivana-image
  libpoppler-glib-dev
  # pictures into one PDF: pivana-image deflates their pixels
  zlib1g-dev
  # documents and presentations
  libreoffice-writer-nogui libreoffice-impress-nogui python3-uno
  fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea fonts-dejavu-core fonts-wqy-microhei
  # tests and benchmarks
  libgtest-dev ffmpeg poppler-utils xvfb xdotool x11-utils imagemagick dbus trayer dunst openbox
  time libraw-bin
  # benchmark: pictures into one PDF
  img2pdf
  # an icon theme with one-colour symbols, which the dark look of the end-to-end tests uses
  adwaita-icon-theme
  # the package and its metadata: cpack's dependency scan and the validators
  dpkg-dev file groff-base desktop-file-utils appstream
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${#missing[@]} packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
