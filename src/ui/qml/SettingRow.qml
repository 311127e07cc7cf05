import QtQuick
import Pivana

// A label on the left, its control on the right, a divider below.
Item {
    id: row
    property string label
    default property alias control: holder.data
    implicitHeight: Math.max(labelText.implicitHeight, holder.childrenRect.height) + 16
    Text {
        id: labelText
        anchors.verticalCenter: parent.verticalCenter
        text: row.label
        font.pixelSize: 12
        color: Theme.primary
    }
    Item {
        id: holder
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: childrenRect.width
        height: childrenRect.height
    }
    Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.outline }
}
