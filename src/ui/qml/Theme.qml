pragma Singleton
import QtQuick

// Colours of the panel, following the desktop's light or dark palette.
QtObject {
    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }
    readonly property bool dark: palette.window.hslLightness < 0.5
    readonly property color primary: dark ? "#f2f2f7" : "#1c1c1e"
    readonly property color secondary: dark ? "#a1a1aa" : "#6b6b72"
    readonly property color accent: dark ? "#409cff" : "#0a6cff"
    readonly property color orange: dark ? "#ff9f0a" : "#e07800"
    readonly property color panel: dark ? Qt.rgba(0.15, 0.15, 0.17, 0.94) : Qt.rgba(0.975, 0.975, 0.98, 0.95)
    readonly property color panelOpaque: dark ? "#28282c" : "#f8f8fa"
    readonly property color outline: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.12)
    readonly property string fontFamily: Qt.application.font.family
}
