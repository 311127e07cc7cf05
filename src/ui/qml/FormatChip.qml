import QtQuick
import Pivana

// A capsule button naming one target format.
KeyButton {
    id: chip
    property string label
    property bool selected: false
    // As wide as the label at the heavier weight it takes when chosen: choosing it moves nothing.
    implicitWidth: Math.ceil(Math.max(regular.advanceWidth, medium.advanceWidth)) + 20
    implicitHeight: Math.ceil(regular.height) + 8
    ringRadius: height / 2 + 2
    Accessible.name: label

    TextMetrics { id: regular; font.pixelSize: 11; text: chip.label }
    TextMetrics { id: medium; font.pixelSize: 11; font.weight: Font.Medium; text: chip.label }

    background: Rectangle {
        radius: height / 2
        color: chip.selected ? Theme.selectedFill : chip.hovered ? Theme.hover : "transparent"
        border.width: chip.selected ? 0.75 : 0
        border.color: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.35)
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    contentItem: Text {
        text: chip.label
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        font.pixelSize: 11
        font.weight: chip.selected ? Font.Medium : Font.Normal
        color: chip.selected ? Theme.accentText : chip.hovered ? Theme.primary : Theme.secondary
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
}
