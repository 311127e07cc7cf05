import QtQuick
import QtQuick.Controls.Basic as Basic
import Pivana

// The settings screen, in place of the popover's main content. Where the screen is too short for
// all of it, the part between the header and Done scrolls.
Column {
    id: view
    required property SettingsViewModel model
    // The tallest the screen lets the panel be.
    property real maxHeight: 100000
    readonly property settingsTexts texts: model.texts
    signal dismiss()
    spacing: 0

    Component.onCompleted: model.appeared()

    // Runs the folder chooser once the menu that asked for it has closed: a modal dialog opened
    // from inside the menu's handler would leave the menu drawn open behind it.
    function chooseFolder() {
        Qt.callLater(view.model.chooseFolder)
    }

    // Keeps the control the keyboard moves to in sight.
    function reveal(item) {
        if (!item || !scroller.interactive) {
            return
        }
        for (let up = item.parent; up; up = up.parent) {
            if (up === body) {
                const box = item.mapToItem(body, 0, 0, item.width, item.height)
                if (box.y < scroller.contentY) {
                    scroller.contentY = Math.max(0, box.y - 8)
                } else if (box.y + box.height > scroller.contentY + scroller.height) {
                    scroller.contentY = Math.min(body.implicitHeight - scroller.height,
                                                 box.y + box.height + 8 - scroller.height)
                }
                return
            }
        }
    }
    Connections {
        target: view.Window.window
        function onActiveFocusItemChanged() { view.reveal(view.Window.activeFocusItem) }
    }

    // Header: back, title.
    Item {
        id: header
        width: view.width
        height: 18 + 20 + 16
        Row {
            x: 20
            y: 18
            height: 20
            spacing: 10
            KeyButton {
                id: back
                width: 16
                height: 20
                Accessible.name: "Back"
                contentItem: Icon {
                    name: "back"
                    color: Theme.secondary
                }
                onClicked: view.dismiss()
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: view.texts.title
                Accessible.role: Accessible.Heading
                Accessible.name: text
                font.pixelSize: 15
                font.letterSpacing: 0.15
                color: Theme.primary
            }
        }
        Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.outline }
    }

    Flickable {
        id: scroller
        width: view.width
        height: Math.min(body.implicitHeight,
                         Math.max(60, view.maxHeight - header.height - footer.height))
        contentWidth: width
        contentHeight: body.implicitHeight
        clip: true
        interactive: contentHeight > height
        boundsBehavior: Flickable.StopAtBounds
        Basic.ScrollBar.vertical: Basic.ScrollBar {
            policy: scroller.interactive ? Basic.ScrollBar.AlwaysOn : Basic.ScrollBar.AlwaysOff
            width: 8
            contentItem: Rectangle { radius: 3; color: Theme.track }
        }

        Column {
            id: body
            x: 20
            width: view.width - 40
            topPadding: 14
            spacing: 14

            SettingSection {
                width: parent.width
                title: view.texts.outputSection
                SettingRow {
                    width: parent.width
                    label: view.texts.outputFolder
                    // A pull-down menu without chrome: the folder's name and a chevron.
                    KeyButton {
                        id: folderButton
                        readonly property color ink: view.model.isCustomFolderMissing ? Theme.error
                                                                                      : Theme.primary
                        // The whole of it takes a click, the chevron and a margin around it too.
                        padding: 4
                        implicitWidth: folderLabel.implicitWidth + leftPadding + rightPadding
                        implicitHeight: folderLabel.implicitHeight + topPadding + bottomPadding
                        Accessible.role: Accessible.ButtonMenu
                        Accessible.name: view.texts.outputFolder
                        Accessible.description: view.model.outputFolderLabel
                        onClicked: folderMenu.popup(folderButton, 0, folderButton.height + 2)
                        contentItem: Row {
                            id: folderLabel
                            spacing: 2
                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: view.model.outputFolderLabel
                                font.pixelSize: 11
                                color: folderButton.ink
                            }
                            Icon {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "chevronDown"
                                color: folderButton.ink
                            }
                        }
                        PanelMenu {
                            id: folderMenu
                            // The current choice carries a check mark.
                            PanelMenuItem {
                                text: view.texts.sameAsSource
                                checkable: true
                                checked: !view.model.usesCustomFolder
                                onTriggered: view.model.useSameAsSource()
                            }
                            PanelMenuItem {
                                text: view.texts.chooseFolder
                                checkable: true
                                checked: view.model.usesCustomFolder
                                onTriggered: view.chooseFolder()
                            }
                        }
                    }
                }
                Item {
                    visible: view.model.isCustomFolderMissing
                    width: parent.width
                    height: 30
                    Row {
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 8
                        Icon {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "warning"
                            color: Theme.warning
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: view.texts.folderMissing
                            font.pixelSize: 11
                            color: Theme.secondary
                        }
                    }
                    TextButton {
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        text: view.texts.chooseFolder
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        color: Theme.accentText
                        onClicked: view.chooseFolder()
                    }
                    Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.outline }
                }
                Item {
                    width: parent.width
                    height: replaceText.implicitHeight + 16
                    Column {
                        id: replaceText
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2
                        Text { text: view.texts.replaceOriginal; font.pixelSize: 12; color: Theme.primary }
                        Text { text: view.texts.replaceOriginalDetail; font.pixelSize: 10; color: Theme.secondary }
                    }
                    PanelSwitch {
                        objectName: "replaceOriginal"
                        Accessible.name: view.texts.replaceOriginal
                        Accessible.description: view.texts.replaceOriginalDetail
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        checked: view.model.replaceOriginal
                        onToggled: {
                            // Show the stored value again at once: switching on waits for the answer.
                            const wanted = checked
                            checked = Qt.binding(() => view.model.replaceOriginal)
                            view.model.requestReplaceOriginal(wanted)
                        }
                    }
                    Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.outline }
                }
            }

            SettingSection {
                width: parent.width
                title: view.texts.imageSection
                Item {
                    width: parent.width
                    height: 30
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: view.texts.jpgQuality
                        font.pixelSize: 12
                        color: Theme.primary
                    }
                    // A box as wide as the widest value, so the label never moves as it changes.
                    TextMetrics { id: widestQuality; font.pixelSize: 12; text: "100%" }
                    Text {
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        width: Math.ceil(widestQuality.advanceWidth)
                        horizontalAlignment: Text.AlignRight
                        text: view.model.jpgQualityText
                        font.pixelSize: 12
                        color: Theme.secondary
                    }
                }
                Item {
                    width: parent.width
                    height: quality.implicitHeight + 8
                    PanelSlider {
                        id: quality
                        objectName: "jpgQuality"
                        Accessible.name: view.texts.jpgQuality
                        width: parent.width
                        from: 10
                        to: 100
                        // Dragging stays continuous; the arrow keys move a point a press.
                        stepSize: 1
                        value: view.model.jpgQuality
                        onMoved: view.model.jpgQuality = value
                    }
                }
                Rectangle { width: parent.width; height: 1; color: Theme.outline }
            }

            SettingSection {
                width: parent.width
                title: view.texts.audioSection
                SettingRow {
                    width: parent.width
                    label: view.texts.aacBitrate
                    PanelComboBox {
                        objectName: "audioBitrate"
                        Accessible.name: view.texts.aacBitrate
                        width: 100
                        model: view.model.bitrateLabels
                        currentIndex: view.model.bitrateIndex
                        onActivated: (index) => { view.model.bitrateIndex = index }
                    }
                }
            }

            // Launch at login, without a section title.
            Item {
                width: parent.width
                height: 34
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: view.texts.launchAtLogin
                    font.pixelSize: 12
                    color: Theme.primary
                }
                Row {
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 6
                    LoadingCircle {
                        visible: view.model.launchBusy
                        width: 14
                        height: 14
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    PanelSwitch {
                        objectName: "launchAtLogin"
                        Accessible.name: view.texts.launchAtLogin
                        anchors.verticalCenter: parent.verticalCenter
                        enabled: !view.model.launchBusy
                        checked: view.model.launchAtLogin
                        onToggled: {
                            const wanted = checked
                            checked = Qt.binding(() => view.model.launchAtLogin)
                            view.model.requestLaunchAtLogin(wanted)
                        }
                    }
                }
            }
        }
    }

    // Footer: Done.
    Item {
        id: footer
        width: view.width
        height: 32 + 40
        // Where the settings scroll, a line marks where they go under the footer.
        Rectangle {
            visible: scroller.interactive
            width: parent.width
            height: 1
            color: Theme.outline
        }
        ProminentButton {
            x: 20
            y: 20
            width: parent.width - 40
            text: view.texts.done
            onClicked: view.dismiss()
        }
    }
}
