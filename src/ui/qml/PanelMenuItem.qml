import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// An entry of a pop-up menu: field colours, the chosen entry in the highlight.
Basic.MenuItem {
    id: item
    implicitHeight: 24
    // Room for the check mark of the current choice.
    leftPadding: checkable ? 26 : 10
    rightPadding: 10
    font.pixelSize: 12
    contentItem: Text {
        text: item.text
        font: item.font
        color: item.highlighted ? Theme.onButton : Theme.fieldText
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    indicator: Icon {
        x: 8
        anchors.verticalCenter: parent.verticalCenter
        visible: item.checked
        name: "checkmark"
        color: item.highlighted ? Theme.onButton : Theme.fieldText
    }
    background: Rectangle {
        anchors.fill: parent
        anchors.margins: 2
        radius: 4
        color: item.highlighted ? Theme.button : "transparent"
    }
}
