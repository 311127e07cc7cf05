import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// A pop-up button that picks one of a list, in the panel's colours.
Basic.ComboBox {
    id: control
    implicitHeight: 22
    leftPadding: 8
    rightPadding: 24
    font.pixelSize: 11
    contentItem: Text {
        text: control.displayText
        font: control.font
        color: Theme.fieldText
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    indicator: Icon {
        x: control.width - width - 6
        anchors.verticalCenter: parent.verticalCenter
        name: "chevronDown"
        color: Theme.fieldText
    }
    background: Rectangle {
        radius: 5
        color: Theme.field
        border.width: 1
        border.color: Theme.fieldEdge
        FocusRing { target: control; anchors.fill: parent; radius: 7 }
    }
    delegate: PanelMenuItem {
        required property int index
        required property string modelData
        width: control.popup.availableWidth
        text: modelData
        highlighted: control.highlightedIndex === index
    }
    popup: Basic.Popup {
        y: control.height + 2
        width: control.width
        padding: 3
        implicitHeight: contentItem.implicitHeight + 6
        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
        }
        background: Rectangle {
            radius: 6
            color: Theme.field
            border.width: 1
            border.color: Theme.fieldEdge
        }
    }
}
