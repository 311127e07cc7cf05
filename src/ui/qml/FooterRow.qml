import QtQuick
import Pivana

// A row of the panel's footer: icon, label, the whole width clickable.
KeyButton {
    id: row
    property string symbol
    property string label
    implicitHeight: 30
    implicitWidth: 200
    leftInset: 4
    rightInset: 4
    ringRadius: 6
    Accessible.name: label

    background: Rectangle {
        radius: 6
        color: row.hovered ? Theme.hover : "transparent"
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }
    contentItem: Item {
        Row {
            anchors.verticalCenter: parent.verticalCenter
            x: 14
            spacing: 10
            Item {
                width: 18
                height: 18
                anchors.verticalCenter: parent.verticalCenter
                Icon {
                    anchors.centerIn: parent
                    name: row.symbol
                    color: Theme.secondary
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
}
