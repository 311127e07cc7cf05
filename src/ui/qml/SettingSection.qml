import QtQuick
import Pivana

// A titled group of setting rows.
Column {
    property string title
    spacing: 6
    Text {
        text: parent.title
        font.capitalization: Font.AllUppercase
        font.pixelSize: 10
        font.weight: Font.DemiBold
        font.letterSpacing: 0.8
        color: Theme.secondary
    }
}
