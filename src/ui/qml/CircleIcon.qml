import QtQuick
import Pivana

// A 28-point circle framing the state icon.
Item {
    id: badge
    default property alias content: holder.data
    implicitWidth: 28
    implicitHeight: 28
    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: "transparent"
        border.width: 1.5
        border.color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.75)
    }
    Item {
        id: holder
        anchors.fill: parent
    }
}
