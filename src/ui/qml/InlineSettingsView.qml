import QtQuick
import QtQuick.Controls.Basic
import Pivana

// The settings screen, in place of the popover's main content.
Column {
    id: view
    required property SettingsViewModel model
    readonly property settingsTexts texts: model.texts
    signal dismiss()
    spacing: 0

    Component.onCompleted: model.appeared()

    // Header: back, title.
    Item {
        width: view.width
        height: 18 + 20 + 16
        Row {
            x: 20
            y: 18
            spacing: 10
            Item {
                width: 14
                height: 20
                Icon {
                    anchors.centerIn: parent
                    width: 14
                    height: 14
                    path: Icons.back
                    color: Theme.secondary
                }
                MouseArea {
                    anchors.fill: parent
                    anchors.margins: -6
                    cursorShape: Qt.PointingHandCursor
                    onClicked: view.dismiss()
                }
            }
            Text {
                text: view.texts.title
                font.pixelSize: 15
                font.letterSpacing: 0.15
                color: Theme.primary
            }
        }
        Rectangle { anchors.bottom: parent.bottom; width: parent.width; height: 1; color: Theme.outline }
    }

    Column {
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
                Text {
                    id: folderLabel
                    text: view.model.outputFolderLabel + "  \u25be"
                    font.pixelSize: 11
                    color: view.model.isCustomFolderMissing ? "#e5342b" : Theme.primary
                    MouseArea {
                        anchors.fill: parent
                        anchors.margins: -6
                        cursorShape: Qt.PointingHandCursor
                        onClicked: folderMenu.popup(folderLabel, 0, folderLabel.height + 4)
                    }
                    Menu {
                        id: folderMenu
                        MenuItem { text: view.texts.sameAsSource; onTriggered: view.model.useSameAsSource() }
                        MenuItem { text: view.texts.chooseFolder; onTriggered: view.model.chooseFolder() }
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
                    Text { text: "\u26a0"; font.pixelSize: 11; color: Theme.orange }
                    Text { text: view.texts.folderMissing; font.pixelSize: 11; color: Theme.secondary }
                }
                Text {
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    text: view.texts.chooseFolder
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Theme.accent
                    MouseArea { anchors.fill: parent; anchors.margins: -4; cursorShape: Qt.PointingHandCursor; onClicked: view.model.chooseFolder() }
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
                Switch {
                    id: replaceSwitch
                    objectName: "replaceOriginal"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    scale: 0.8
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
                Text { anchors.verticalCenter: parent.verticalCenter; text: view.texts.jpgQuality; font.pixelSize: 12; color: Theme.primary }
                Text {
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    text: view.model.jpgQualityText
                    font.pixelSize: 12
                    color: Theme.secondary
                }
            }
            Slider {
                objectName: "jpgQuality"
                width: parent.width
                from: 10
                to: 100
                value: view.model.jpgQuality
                onMoved: view.model.jpgQuality = value
            }
            Rectangle { width: parent.width; height: 1; color: Theme.outline }
        }

        SettingSection {
            width: parent.width
            title: view.texts.audioSection
            SettingRow {
                width: parent.width
                label: view.texts.aacBitrate
                ComboBox {
                    objectName: "audioBitrate"
                    width: 104
                    height: 26
                    font.pixelSize: 11
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
            Text { anchors.verticalCenter: parent.verticalCenter; text: view.texts.launchAtLogin; font.pixelSize: 12; color: Theme.primary }
            Row {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 4
                BusyIndicator {
                    visible: view.model.launchBusy
                    running: visible
                    width: 20
                    height: 20
                    anchors.verticalCenter: parent.verticalCenter
                }
                Switch {
                    objectName: "launchAtLogin"
                    anchors.verticalCenter: parent.verticalCenter
                    scale: 0.8
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

    // Footer: Done.
    Item {
        width: view.width
        height: 32 + 40
        Button {
            x: 20
            y: 20
            width: parent.width - 40
            height: 32
            text: view.texts.done
            onClicked: view.dismiss()
            contentItem: Text {
                text: parent.text
                font.pixelSize: 13
                font.weight: Font.Medium
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                radius: 6
                color: parent.down ? Qt.darker(Theme.accent, 1.15) : Theme.accent
            }
        }
    }
}
