import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// The prominent button: filled with the highlight, its text in the highlight's text colour.
Basic.Button {
    id: control
    implicitHeight: 32
    Keys.onReturnPressed: control.clicked()
    Keys.onEnterPressed: control.clicked()
    Accessible.onPressAction: control.clicked()
    font.pixelSize: 13
    font.weight: Font.Medium
    contentItem: Text {
        text: control.text
        font: control.font
        color: Theme.onButton
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: 6
        color: control.down ? Qt.darker(Theme.button, 1.15) : Theme.button
        FocusRing { target: control; anchors.fill: parent; radius: 8 }
    }
}
