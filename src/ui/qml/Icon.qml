import QtQuick
import Pivana

// One of the panel's symbols in one colour: the desktop icon theme's where it has one, else our
// own drawing. Drawn at the screen's own pixel size, so it stays crisp when the desktop scales,
// and never stretched: a larger box centres it.
Image {
    id: icon
    property string name
    property color color: Theme.primary
    property int size: 16
    width: size
    height: size
    sourceSize: Qt.size(size, size)
    fillMode: Image.Pad
    source: name === "" ? "" : "image://icon/" + name + "/" + String(color).substring(1)
}
