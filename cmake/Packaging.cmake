# The Debian package: `make package`, or `cpack -G DEB` in a build folder. Library
# dependencies come from what the binaries actually link (dpkg-shlibdeps); the rest are what
# the app loads or runs without linking it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pivana)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file converter for the desktop tray")
set(CPACK_PACKAGE_DESCRIPTION
    "Pivana lives in the system tray and converts still images (camera RAW and SVG too),\n"
    "animated GIF, audio, video, text documents, PDF and presentations. Its panel, the\n"
    "file manager's Convert with Pivana menu and its command line offer only the\n"
    "formats every file of a batch can become.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)

# Placeholder until the project has a public address of its own.
set(CPACK_PACKAGE_CONTACT "The Pivana developers <pivana@pivana.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(PIVANA_RUNTIME_DEPENDS
    # Loaded, not linked: the QML the panel is drawn with and Qt's SVG icon engine.
    qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtqml-workerscript
    qml6-module-qtquick-controls qml6-module-qtquick-templates libqt6svg6
    # Photos from iOS 18 and later (on Debian 12 from bookworm-backports), and the plugins that
    # encode HEIC and AVIF (libheif1 itself brings the decoding ones).
    "libheif1 (>= ${PIVANA_LIBHEIF_MINIMUM})" libheif-plugin-x265 libheif-plugin-aomenc
    # ImageMagick's OpenEXR coder, through which libvips writes .exr.
    libmagickcore-6.q16-6-extra
    # Documents and presentations: a headless office and the bridge that keeps it running.
    "libreoffice-writer-nogui | libreoffice-writer"
    "libreoffice-impress-nogui | libreoffice-impress"
    python3-uno python3
    # Metric-compatible fonts, so that documents keep their layout.
    fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea fonts-dejavu-core
)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${PIVANA_RUNTIME_DEPENDS})
# The context menu of GNOME's, Cinnamon's and MATE's file managers; Dolphin needs nothing.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-nautilus, nemo-python, python3-caja")

include(CPack)
