import QtQml 2.12
import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Styles 1.4
import QtQuick.Controls.Material 2.0
import QtQuick.Layouts 1.3
import QtQuick.Window 2.0

// The window's menus: capture and tuning profiles, view, sync/store and language.
MenuBar {
    id: menuBar

    // Ctrl+Q: the window closes as by its close button (through the exit prompt).
    signal closeRequested()

    // An entry that opens a dialog or a wait box runs once its menu has closed,
    // so that the menu is not left drawn behind the box.
    property var pendingAction: null
    function afterClose(menu, action) {
        if (menu.visible)
            pendingAction = action
        else
            action()
    }
    function runPending() {
        var action = pendingAction
        pendingAction = null
        if (action)
            action()
    }

    height: 24

    Shortcut { sequence: "Ctrl+S"; onActivated: captureEntry.triggered() }
    Shortcut { sequence: "Ctrl+R"; onActivated: rotateCwEntry.triggered() }
    Shortcut { sequence: "Ctrl+Shift+R"; onActivated: rotateCcwEntry.triggered() }
    Shortcut { sequence: "F5"; onActivated: sync_menu.triggered() }
    Shortcut { sequence: "Ctrl+Q"; onActivated: menuBar.closeRequested() }

    background: Rectangle {
        implicitWidth: 40
        implicitHeight: 24
        height: 24
        color: "#d5d5d5"
    }

    delegate: MenuBarItem {
        id: menuBarItem
        height: 24
        font.bold: false

        contentItem: Text {
            text: menuBarItem.text
            font: menuBarItem.font
            opacity: enabled ? 1.0 : 0.3
            color: menuBarItem.highlighted ? "#ffffff" : "#000000"
            horizontalAlignment: Text.AlignLeft
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }

        background: Rectangle {
            implicitWidth: 40
            implicitHeight: 24
            opacity: enabled ? 1 : 0.3
            color: menuBarItem.highlighted ? "#21be2b" : "transparent"
        }
    }

    Menu {
        id: fileMenu
        title: qsTr("File")
        width: qmldata.getLanguageType()
        onClosed: menuBar.runPending()
        MenuItem {
            id: captureEntry
            height: 36
            text: qsTr("Capture")
            onTriggered: menuBar.afterClose(fileMenu, function() { qmldata.openSavePicDialog() })
            MenuShortcut { text: "Ctrl+S" }
        }
        MenuItem {
            height: 36
            text: qsTr("save_profile")
            onTriggered: menuBar.afterClose(fileMenu, function() { profiles.save() })
        }
        MenuItem {
            height: 36
            text: qsTr("load_profile")
            onTriggered: menuBar.afterClose(fileMenu, function() { profiles.load() })
        }
        MenuItem {
            height: 36
            text: qsTr("compare_profile")
            onTriggered: menuBar.afterClose(fileMenu, function() { profiles.compare() })
        }
        Menu {
            id: recentMenu
            title: qsTr("recent_profiles")
            enabled: profiles.recent.length > 0
            Instantiator {
                model: profiles.recent
                delegate: MenuItem {
                    height: 36
                    text: modelData
                    onTriggered: {
                        var path = modelData
                        menuBar.afterClose(fileMenu, function() { profiles.load(path) })
                    }
                }
                onObjectAdded: recentMenu.insertItem(index, object)
                onObjectRemoved: recentMenu.removeItem(object)
            }
        }
        MenuItem {
            height: 36
            text: qsTr("quit")
            onTriggered: menuBar.afterClose(fileMenu, menuBar.closeRequested)
            MenuShortcut { text: "Ctrl+Q" }
        }
    }

    Menu {
        title: qsTr("View")
        MenuItem {
            id: rotateCwEntry
            height: 36
            text: qsTr("rotate_cw")
            onTriggered: qmldata.rotateDisplay(true)
            MenuShortcut { text: "Ctrl+R" }
        }
        MenuItem {
            id: rotateCcwEntry
            height: 36
            text: qsTr("rotate_ccw")
            onTriggered: qmldata.rotateDisplay(false)
            MenuShortcut { text: "Ctrl+Shift+R" }
        }
        Menu {
            title: qsTr("display_zoom_mode")
            // The two boxes act as one radio choice: both stay checked, only the
            // one of the current mode is shown.
            MenuItem {
                id: menuDisplayZoom
                height: 36
                text: qsTr("display_zoom")
                onTriggered: qmldata.displayZoom = true
                CheckBox {
                    anchors.right: parent.right
                    anchors.rightMargin: 10
                    anchors.verticalCenter: parent.verticalCenter
                    checked: true
                    visible: qmldata.displayZoom
                    onClicked: {
                        checked = true
                        menuDisplayZoom.triggered()
                    }
                }
            }
            MenuItem {
                id: menuDisplayPixel
                height: 36
                text: qsTr("display_pixel")
                onTriggered: qmldata.displayZoom = false
                CheckBox {
                    anchors.right: parent.right
                    anchors.rightMargin: 10
                    anchors.verticalCenter: parent.verticalCenter
                    checked: true
                    visible: !qmldata.displayZoom
                    onClicked: {
                        checked = true
                        menuDisplayPixel.triggered()
                    }
                }
            }
        }
        MenuItem {
            id: menu_debug_info
            height: 36
            text: qsTr("debug_info")
            onTriggered: qmldata.setDebugVisible(!qmldata.isDebugVisible)
            CheckBox {
                anchors.right: parent.right
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                checked: qmldata.isDebugVisible
                onClicked: {
                    menu_debug_info.triggered()
                    checked = Qt.binding(function() { return qmldata.isDebugVisible })
                }
            }
        }
        MenuItem {
            id: menu_debug_log
            height: 36
            text: qsTr("debug_log")
            onTriggered: qmldata.debugLog = !qmldata.debugLog
            CheckBox {
                anchors.right: parent.right
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                checked: qmldata.debugLog
                onClicked: {
                    menu_debug_log.triggered()
                    checked = Qt.binding(function() { return qmldata.debugLog })
                }
            }
        }
        MenuItem {
            id: menu_image_statistics
            height: 36
            text: qsTr("image_statistics")
            onTriggered: qmldata.imageStats.visible = !qmldata.imageStats.visible
            CheckBox {
                anchors.right: parent.right
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                checked: qmldata.imageStats.visible
                onClicked: {
                    menu_image_statistics.triggered()
                    checked = Qt.binding(function() { return qmldata.imageStats.visible })
                }
            }
        }
    }

    Menu {
        id: syncMenu
        title: qsTr("Sync")
        width: qmldata.getLanguageType()
        onClosed: menuBar.runPending()
        MenuItem {
            id: sync_menu
            height: 36
            width: syncMenu.width
            //: Sync all parameters to camera now
            text: qsTr("Sync_to_cam")
            onTriggered: menuBar.afterClose(syncMenu, function() { qmldata.showSyncBox() })
            MenuShortcut { text: "F5" }
        }
        MenuItem {
            height: 36
            width: syncMenu.width
            //: Store all parameters to the camera
            text: qsTr("save_to_cam")
            onTriggered: menuBar.afterClose(syncMenu, function() { qmldata.saveParamsToCam() })
        }
    }

    Menu {
        title: qsTr("langage")
        MenuItem {
            height: 36
            text: qsTr("Chinese")
            onTriggered: myapp.updateLangage("zh_CN")
        }
        MenuItem {
            height: 36
            text: qsTr("English")
            onTriggered: myapp.updateLangage("en_US")
        }
    }
}
