import QtQuick

// A capsule button naming one target format.
Item {
    id: chip
    property string label
    property bool selected: false
    signal clicked()
    readonly property bool hovered: area.containsMouse
    implicitWidth: text.implicitWidth + 20
    implicitHeight: text.implicitHeight + 8

    Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: chip.selected ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.12)
             : chip.hovered ? Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.08) : "transparent"
        border.width: chip.selected ? 0.75 : 0
        border.color: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.35)
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    Text {
        id: text
        anchors.centerIn: parent
        text: chip.label
        font.pixelSize: 11
        font.weight: chip.selected ? Font.Medium : Font.Normal
        color: chip.selected ? Theme.accent : chip.hovered ? Theme.primary : Theme.secondary
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: chip.clicked()
    }
}
