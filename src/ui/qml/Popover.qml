import QtQuick
import Pivana

// The panel's content: drop zone, format chips and footer, drawn from the popover view-model.
Item {
    id: root
    required property PopoverViewModel model
    required property SettingsViewModel settingsModel
    property bool translucent: true
    // The tallest the screen lets the panel be; the tray controller sets it.
    property real maxHeight: 100000
    readonly property int state: model.state

    width: 300
    height: Math.min(maxHeight,
                     Math.max(10, model.showSettings && settingsView.item ? settingsView.item.implicitHeight
                                                                          : main.implicitHeight + 6 + 14))
    focus: true
    Keys.onEscapePressed: model.pressEscape()

    // Keys reach the popover only while something in it has the focus. Give it back when the item
    // that had it goes away (a row of the previous state, the closed settings) or when a menu or a
    // dialog took it and the panel is active again.
    function keepFocus() {
        const window = root.Window.window
        if (window && window.active
                && (!window.activeFocusItem || window.activeFocusItem === window.contentItem)) {
            root.forceActiveFocus()
        }
    }
    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() { Qt.callLater(root.keepFocus) }
        function onActiveChanged() { Qt.callLater(root.keepFocus) }
    }

    function focusChip(index) {
        const chip = chipRepeater.itemAt(index)
        if (chip) {
            chip.forceActiveFocus(Qt.TabFocusReason)
        }
    }

    Rectangle {
        id: background
        anchors.fill: parent
        radius: root.translucent ? 16 : 0
        color: root.translucent ? Theme.panel : Theme.panelOpaque
        border.width: 0.5
        border.color: Theme.outline
    }

    DropArea {
        anchors.fill: parent
        onEntered: (drag) => { drag.accepted = root.model.dragEnter(drag.urls) }
        onExited: root.model.dragExit()
        onDropped: (drop) => { drop.accepted = root.model.drop(drop.urls) }
    }

    Column {
        id: main
        visible: !root.model.showSettings
        x: 6
        y: 6
        width: parent.width - 12
        spacing: 0

        // Drop zone: the whole area is a button. A message takes the place of what it shows
        // without changing its height, so that nothing under the pointer moves.
        Item {
            id: dropZone
            readonly property bool messageShown: root.model.transientError !== ""
            width: parent.width
            height: Math.max(zoneColumn.implicitHeight, message.implicitHeight) + 40
            // What a drag the panel would take shows while it hovers.
            Rectangle {
                anchors.fill: parent
                anchors.margins: 2
                visible: root.model.dragHovering
                radius: 12
                color: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.12)
                border.width: 1.5
                border.color: Theme.accent
            }
            KeyButton {
                id: zoneButton
                anchors.fill: parent
                anchors.margins: 2
                ringRadius: 12
                // Named by what it shows; a screen reader tells what else it offers.
                Accessible.name: dropZone.messageShown ? root.model.transientError
                                                       : root.model.headline
                Accessible.description: dropZone.messageShown ? ""
                                        : root.state === PopoverViewModel.Idle
                                          ? "Files can also be dropped here: " + root.model.detail
                                          : root.model.detail
                HoverHandler {
                    cursorShape: root.state === PopoverViewModel.Idle ? Qt.PointingHandCursor
                                                                      : Qt.ArrowCursor
                }
                onClicked: root.model.tapDropZone()
            }
            Text {
                id: message
                visible: dropZone.messageShown
                anchors.centerIn: parent
                width: parent.width - 40
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: root.model.transientError
                font.pixelSize: 13
                font.weight: Font.Medium
                color: Theme.primary
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Column {
                id: zoneColumn
                anchors.centerIn: parent
                width: parent.width - 40
                spacing: 8
                // Still laid out under a message, so that the zone keeps its height.
                opacity: dropZone.messageShown ? 0 : 1
                enabled: !dropZone.messageShown

                Item {
                    width: 28
                    height: 28
                    anchors.horizontalCenter: parent.horizontalCenter
                    LoadingCircle {
                        anchors.fill: parent
                        visible: root.model.isConverting
                    }
                    CircleIcon {
                        anchors.fill: parent
                        visible: !root.model.isConverting
                        Icon {
                            anchors.centerIn: parent
                            // A batch with failures is no plain success.
                            name: root.state !== PopoverViewModel.Done ? "arrowDown"
                                  : root.model.failureHeadline !== "" ? "warning" : "checkmark"
                            rotation: root.state === PopoverViewModel.PickFormat ? -90 : 0
                            color: Qt.rgba(Theme.primary.r, Theme.primary.g, Theme.primary.b, 0.75)
                            Behavior on rotation { NumberAnimation { duration: 300; easing.type: Easing.OutBack } }
                        }
                    }
                }

                Column {
                    width: parent.width
                    spacing: 2
                    // The batch, or while it converts, which file it is at: one line either way.
                    Text {
                        id: headline
                        visible: root.model.progressFile === ""
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        elide: Text.ElideMiddle
                        text: root.model.headline
                        font.pixelSize: 13
                        font.weight: Font.Medium
                        font.letterSpacing: root.state === PopoverViewModel.Idle ? -0.14 : 0
                        color: Theme.primary
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        Accessible.ignored: !zoneColumn.enabled || !visible
                    }
                    // "Converting 2 of 3 · " stays whole; only the file's name is cut short.
                    Item {
                        visible: root.model.progressFile !== ""
                        width: parent.width
                        height: progressPrefix.implicitHeight
                        Accessible.role: Accessible.StaticText
                        Accessible.name: root.model.headline
                        Accessible.ignored: !zoneColumn.enabled || !visible
                        Row {
                            anchors.horizontalCenter: parent.horizontalCenter
                            Text {
                                id: progressPrefix
                                text: root.model.progressPrefix
                                font: headline.font
                                color: Theme.primary
                            }
                            Text {
                                width: Math.min(implicitWidth, dropZone.width - 40 - progressPrefix.implicitWidth)
                                elide: Text.ElideRight
                                text: root.model.progressFile
                                font: headline.font
                                color: Theme.primary
                            }
                        }
                    }
                    Text {
                        visible: root.model.detail !== ""
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        elide: Text.ElideMiddle
                        text: root.model.detail
                        font.pixelSize: 11
                        color: root.state === PopoverViewModel.Done ? Theme.secondary : Theme.tertiary
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        Accessible.ignored: !zoneColumn.enabled || !visible
                    }
                    // Failure summary of a finished batch: every failed file with its reason,
                    // scrolling when there are many.
                    Item { visible: root.model.failureHeadline !== ""; width: 1; height: 6 }
                    Text {
                        visible: root.model.failureHeadline !== ""
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        elide: Text.ElideMiddle
                        text: root.model.failureHeadline
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        color: Theme.warning
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        Accessible.ignored: !zoneColumn.enabled || !visible
                    }
                    Flickable {
                        id: failureList
                        visible: root.model.failureDetail !== ""
                        width: parent.width
                        height: Math.min(failureText.implicitHeight, 80)
                        contentWidth: width
                        contentHeight: failureText.implicitHeight
                        clip: true
                        interactive: contentHeight > height
                        boundsBehavior: Flickable.StopAtBounds
                        Text {
                            id: failureText
                            width: failureList.width
                            horizontalAlignment: root.model.failureDetail.indexOf("\n") >= 0 ? Text.AlignLeft
                                                                                 : Text.AlignHCenter
                            wrapMode: Text.Wrap
                            text: root.model.failureDetail
                            font.pixelSize: 10
                            color: Theme.tertiary
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                            Accessible.ignored: !zoneColumn.enabled || !failureList.visible
                        }
                    }
                }
            }
            // How far the file being converted is, in the zone's bottom margin: it takes no
            // room of its own, so nothing moves when a conversion starts or ends.
            Rectangle {
                visible: root.model.isConverting && root.model.progress > 0
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 8
                width: 160
                height: 3
                radius: 1.5
                color: Theme.hover
                Accessible.role: Accessible.ProgressBar
                Accessible.name: Math.round(root.model.progress * 100) + "%"
                Rectangle {
                    width: parent.width * root.model.progress
                    height: parent.height
                    radius: parent.radius
                    color: Theme.accent
                }
            }
        }

        // Chips, one per target, fading in just after a batch arrives.
        Item {
            visible: root.state === PopoverViewModel.PickFormat
            width: parent.width
            height: chips.implicitHeight + 30
            opacity: root.model.isDropping ? 0 : 1
            Behavior on opacity { NumberAnimation { duration: 350; easing.type: Easing.InQuad } }
            ChipFlow {
                id: chips
                x: 26
                y: 20
                width: parent.width - 52
                spacing: 5
                Repeater {
                    id: chipRepeater
                    model: root.model.targets
                    FormatChip {
                        required property string modelData
                        required property int index
                        label: root.model.chipLabel(modelData)
                        selected: root.model.inFlightFormat === modelData
                        onClicked: root.model.tapChip(modelData)
                        // The arrow keys move among the chips, as in a toolbar.
                        Keys.onLeftPressed: root.focusChip(index - 1)
                        Keys.onUpPressed: root.focusChip(index - 1)
                        Keys.onRightPressed: root.focusChip(index + 1)
                        Keys.onDownPressed: root.focusChip(index + 1)
                    }
                }
            }
        }

        // The footer's rows, as the popover offers them in this state. Each row is placed as it is
        // made, not by a positioner afterwards: a row made under a resting pointer would otherwise
        // keep the hover it got at the place where it started.
        Item {
            visible: footer.count > 0
            width: parent.width
            height: footer.count * 30
            Repeater {
                id: footer
                model: root.model.footerRows
                FooterRow {
                    required property FooterAction modelData
                    required property int index
                    y: index * implicitHeight
                    width: parent.width
                    symbol: modelData.icon
                    label: modelData.label
                    onClicked: modelData.trigger()
                }
            }
        }
    }

    // The settings screen takes the whole panel.
    // Made afresh each time it opens, so it reads the folder state and login entry anew. It is
    // loaded by its address, not named here: it alone uses Qt Quick Controls, which the panel
    // then opens without loading.
    Loader {
        id: settingsView
        readonly property bool shown: root.model.showSettings
        width: parent.width
        // Also when a panel is built again over settings left open; once only.
        function follow() {
            if (shown) {
                if (status === Loader.Null) {
                    setSource("InlineSettingsView.qml", { model: root.settingsModel })
                }
            } else {
                source = ""
            }
        }
        onShownChanged: follow()
        Component.onCompleted: follow()
        onLoaded: {
            item.width = Qt.binding(() => settingsView.width)
            item.maxHeight = Qt.binding(() => root.maxHeight)
            item.dismiss.connect(root.model.closeSettings)
        }
    }
}
