import QtQuick
import Pivana

// The ring around the control the keyboard's focus is on, shown only when Tab put it there: a
// click, or the panel coming back to the front, shows none.
Rectangle {
    property Item target: parent
    anchors.fill: target
    anchors.margins: -2
    visible: target.visualFocus === true
    color: "transparent"
    border.width: 2
    border.color: Theme.accent
}
