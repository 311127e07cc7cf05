import QtQuick
import Pivana

// Text that acts as a button, without chrome.
KeyButton {
    id: button
    property color color: Theme.accentText
    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight
    contentItem: Text {
        id: label
        text: button.text
        font: button.font
        color: button.color
    }
}
