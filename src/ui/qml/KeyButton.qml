import QtQuick
import QtQuick.Templates as T
import Pivana

// A button the keyboard reaches with Tab: a ring shows while Tab has put the focus on it, and
// Return, Enter or Space press it. A click does too, without taking the focus.
T.AbstractButton {
    id: button
    property real ringRadius: 4
    focusPolicy: Qt.TabFocus
    hoverEnabled: true
    padding: 0
    Keys.onReturnPressed: button.clicked()
    Keys.onEnterPressed: button.clicked()
    // A screen reader's "press" clicks it too.
    Accessible.onPressAction: button.clicked()
    HoverHandler { cursorShape: Qt.PointingHandCursor }
    FocusRing {
        target: button
        anchors.fill: button.background ?? button
        radius: button.ringRadius
        z: 1
    }
}
