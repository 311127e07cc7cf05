#!/usr/bin/env bash
# Installs every Debian 12 package Pivana needs to build, run, test and benchmark.
# Idempotent: only packages that are not installed yet are handed to apt-get.
set -euo pipefail

PACKAGES=(
  # build (librsvg2-bin renders the icons)
  g++ cmake ninja-build pkg-config clang-format librsvg2-bin
  # still images
  libvips-dev libvips-tools libraw-dev libtiff-dev librsvg2-dev libcairo2-dev
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
  # the encoding of plain-text and Markdown sources
  libuchardet-dev
  # tests and benchmarks
  libgtest-dev ffmpeg poppler-utils xvfb xdotool x11-utils imagemagick dbus trayer dunst openbox
  time libraw-bin
  # the accessibility bus and its Python client, which the end-to-end tests drive the panel through
  at-spi2-core python3-pyatspi
  # benchmark: pictures into one PDF
  img2pdf
  # an icon theme with one-colour symbols, which the dark look of the end-to-end tests uses
  adwaita-icon-theme
  # the package and its metadata: cpack's dependency scan and the validators
  dpkg-dev file groff-base desktop-file-utils appstream
)

# libheif 1.18 or later, with the plugins that decode and encode HEIC (libde265, x265) and AVIF
# (dav1d, aom): Debian 12's own 1.15 refuses the photos of iOS 18 and later. On Debian 12 these
# come from Debian's bookworm-backports suite, pinned so that nothing else comes from there;
# later Debian releases have them in their own suite.
HEIF_PACKAGES=(libheif1 libheif-dev libheif-plugin-libde265 libheif-plugin-x265
  libheif-plugin-dav1d libheif-plugin-aomenc)
HEIF_MINIMUM=1.18

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
heif_is_new_enough() {
  dpkg --compare-versions "$(dpkg-query -W -f='${Version}' libheif1 2>/dev/null)" ge "$HEIF_MINIMUM"
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! installed "$p"; then
    missing+=("$p")
  fi
done
heif_wanted=0
for p in "${HEIF_PACKAGES[@]}"; do
  if ! installed "$p"; then heif_wanted=1; fi
done
if ! heif_is_new_enough; then heif_wanted=1; fi
if [ $heif_wanted -eq 1 ]; then missing+=("${HEIF_PACKAGES[@]}"); fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all $((${#PACKAGES[@]} + ${#HEIF_PACKAGES[@]})) packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The backports suite and its pin, once (a backports source the machine already has is kept).
if [ $heif_wanted -eq 1 ] && grep -qs '^VERSION_CODENAME=bookworm$' /etc/os-release; then
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      $SUDO tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
  fi
  printf '%s\n' 'Package: libheif* heif-gdk-pixbuf heif-thumbnailer' \
    'Pin: release n=bookworm-backports' 'Pin-Priority: 500' '' \
    'Package: *' 'Pin: release n=bookworm-backports' 'Pin-Priority: -1' |
    $SUDO tee /etc/apt/preferences.d/bookworm-backports-libheif >/dev/null
fi
echo "install-deps: installing ${#missing[@]} packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
if ! heif_is_new_enough; then
  echo "install-deps: libheif $HEIF_MINIMUM or later is needed; apt installed $(dpkg-query -W -f='${Version}' libheif1)" >&2
  exit 1
fi
