import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// A small switch in the panel's colours: the highlight when on, a grey track when off.
Basic.Switch {
    id: control
    padding: 0
    spacing: 0
    implicitWidth: 28
    implicitHeight: 16
    indicator: Rectangle {
        anchors.fill: parent
        radius: height / 2
        color: control.checked ? Theme.accent : Theme.track
        opacity: control.enabled ? 1 : 0.5
        Behavior on color { ColorAnimation { duration: 120 } }
        Rectangle {
            width: parent.height - 4
            height: width
            radius: width / 2
            y: 2
            x: control.checked ? parent.width - width - 2 : 2
            color: Theme.knob
            border.width: 0.5
            border.color: Theme.knobEdge
            Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
        }
        FocusRing { target: control; anchors.fill: parent; radius: height / 2 + 2 }
    }
    contentItem: Item {}
}
