pragma Singleton
import QtQuick

// Path data of the popover's icons, drawn for this app on a 24-point grid.
QtObject {
    readonly property string arrowDown: "M12 4.5v15 M5.5 13l6.5 6.5 6.5-6.5"
    readonly property string checkmark: "M5 12.5l4.5 4.5L19 7.5"
    readonly property string gear: "M12 8.8a3.2 3.2 0 1 0 0 6.4a3.2 3.2 0 1 0 0-6.4z M12 2.8v2.6 M12 18.6v2.6 M2.8 12h2.6 M18.6 12h2.6 M5.5 5.5l1.85 1.85 M16.65 16.65l1.85 1.85 M5.5 18.5l1.85-1.85 M16.65 7.35l1.85-1.85"
    readonly property string power: "M12 3.5v8 M7 6.3a7.5 7.5 0 1 0 10 0"
    readonly property string clockwise: "M19.5 12a7.5 7.5 0 1 1-2.2-5.3 M19.5 4v4.5H15"
    readonly property string xmark: "M6.5 6.5l11 11 M17.5 6.5l-11 11"
    readonly property string back: "M14.5 5.5L8 12l6.5 6.5"
}
