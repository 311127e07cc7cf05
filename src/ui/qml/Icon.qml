import QtQuick

// A monochrome line icon drawn from SVG path data on a 24-point grid.
Canvas {
    id: icon
    property string path
    property color color: "black"
    property real lineWidth: 2.2
    implicitWidth: 14
    implicitHeight: 14
    onPathChanged: requestPaint()
    onColorChanged: requestPaint()
    onWidthChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        ctx.scale(width / 24, height / 24)
        ctx.strokeStyle = icon.color
        ctx.lineWidth = icon.lineWidth
        ctx.lineCap = "round"
        ctx.lineJoin = "round"
        ctx.path = icon.path
        ctx.stroke()
    }
}
