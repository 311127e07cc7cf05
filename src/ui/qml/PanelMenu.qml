import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// A pop-up menu in the panel's colours.
Basic.Menu {
    id: menu
    padding: 3
    background: Rectangle {
        implicitWidth: 160
        radius: 6
        color: Theme.field
        border.width: 1
        border.color: Theme.fieldEdge
    }
}
