import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0

// A notice over the preview: `show` puts up a text for three seconds; a notice
// that lasts binds its `opacity` instead. With `actionText`, it offers a button.
Rectangle {
    id: notice

    property string text: ""
    property string actionText: ""

    signal actionClicked()

    function show(message) {
        text = message
        opacity = 1
        hideTimer.restart()
    }

    visible: opacity > 0
    opacity: 0
    radius: 4
    color: "#C0000000"
    width: row.implicitWidth + 24
    height: row.height + 12

    Behavior on opacity { NumberAnimation { duration: 200 } }

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 12

        Text {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            // At most as wide as the preview allows; a longer text wraps.
            width: Math.min(implicitWidth, (notice.parent ? notice.parent.width - 48 : implicitWidth)
                                           - (action.visible ? action.width + row.spacing : 0))
            text: notice.text
            color: "#12D2BD"
            font.pixelSize: 16
            wrapMode: Text.WordWrap
        }

        Button {
            id: action
            anchors.verticalCenter: parent.verticalCenter
            visible: notice.actionText !== ""
            text: notice.actionText
            flat: true
            font.pixelSize: 14
            Material.foreground: "#ffffff"
            onClicked: notice.actionClicked()
        }
    }

    Timer {
        id: hideTimer
        interval: 3000
        onTriggered: notice.opacity = 0
    }
}
