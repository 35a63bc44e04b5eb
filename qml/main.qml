import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0
import QtQuick.Window 2.0

// Start-up window: shows the program's title until the tuning window is in place.
ApplicationWindow {
    id: root
    visible: true
    width: 1280
    height: 760
    title: qsTr("app_title")
    color: "#000000"

    Label {
        anchors.centerIn: parent
        text: qsTr("app_title")
        color: "#B8b8b8"
        font.pixelSize: 24
    }

    Component.onCompleted: qmldata.ui_ready = true
}
