import QtQuick 2.12

// A short notice over the preview: `show` puts up a text for three seconds.
Rectangle {
    id: notice

    property string text: ""

    function show(message) {
        text = message
        opacity = 1
        hideTimer.restart()
    }

    visible: opacity > 0
    opacity: 0
    radius: 4
    color: "#C0000000"
    width: label.implicitWidth + 24
    height: label.implicitHeight + 12

    Behavior on opacity { NumberAnimation { duration: 200 } }

    Text {
        id: label
        anchors.centerIn: parent
        text: notice.text
        color: "#12D2BD"
        font.pixelSize: 16
    }

    Timer {
        id: hideTimer
        interval: 3000
        onTriggered: notice.opacity = 0
    }
}
