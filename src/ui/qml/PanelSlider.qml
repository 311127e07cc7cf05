import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// A slim slider in the panel's colours: the filled part in the highlight.
Basic.Slider {
    id: control
    padding: 0
    implicitHeight: 16
    background: Rectangle {
        x: control.leftPadding + handleItem.width / 2
        y: control.topPadding + (control.availableHeight - height) / 2
        width: control.availableWidth - handleItem.width
        height: 4
        radius: 2
        color: Theme.track
        Rectangle {
            width: control.visualPosition * parent.width
            height: parent.height
            radius: 2
            color: Theme.accent
        }
    }
    handle: Rectangle {
        id: handleItem
        x: control.leftPadding + control.visualPosition * (control.availableWidth - width)
        y: control.topPadding + (control.availableHeight - height) / 2
        width: 16
        height: 16
        radius: 8
        color: Theme.knob
        border.width: 0.5
        border.color: Theme.knobEdge
        FocusRing { target: control; anchors.fill: parent; radius: 10 }
    }
}
