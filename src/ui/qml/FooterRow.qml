import QtQuick

// A row of the panel's footer: icon, label, the whole width clickable.
Item {
    id: row
    property string icon
    property string label
    signal clicked()
    readonly property bool hovered: area.containsMouse
    implicitHeight: 30
    implicitWidth: 200

    Rectangle {
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        radius: 6
        color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, row.hovered ? 0.08 : 0)
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
        Row {
            anchors.verticalCenter: parent.verticalCenter
            x: 10
            spacing: 10
            Item {
                width: 18
                height: 18
                anchors.verticalCenter: parent.verticalCenter
                Icon {
                    anchors.centerIn: parent
                    width: 14
                    height: 14
                    path: row.icon
                    color: Theme.secondary
                    lineWidth: 2
                }
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: row.label
                font.pixelSize: 13
                color: Theme.primary
            }
        }
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: row.clicked()
    }
}
