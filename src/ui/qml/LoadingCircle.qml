import QtQuick
import Pivana

// The spinner: a quarter arc turning once a second, its angle taken from the clock.
Canvas {
    id: spinner
    implicitWidth: 28
    implicitHeight: 28
    property real angle: 0
    Timer {
        interval: 16
        repeat: true
        running: spinner.visible
        onTriggered: {
            const t = Date.now() / 1000
            spinner.angle = (t - Math.trunc(t)) * 2 * Math.PI
            spinner.requestPaint()
        }
    }
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        const r = width / 2 - 0.75
        ctx.lineWidth = 1.5
        ctx.strokeStyle = Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.15)
        ctx.beginPath()
        ctx.arc(width / 2, height / 2, r, 0, 2 * Math.PI)
        ctx.stroke()
        ctx.strokeStyle = Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.75)
        ctx.lineCap = "round"
        ctx.beginPath()
        ctx.arc(width / 2, height / 2, r, angle - Math.PI / 2, angle)
        ctx.stroke()
    }
}
