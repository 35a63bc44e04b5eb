import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0

// A slim notice laid over the top of the preview, with an optional action.
Rectangle {
    id: notice

    property alias text: label.text
    property alias actionText: action.text

    signal actionClicked()

    height: Math.max(40, label.implicitHeight + 16)
    color: "#E0202020"

    Rectangle {
        width: 4
        height: parent.height
        color: "#12D2BD"
    }

    Text {
        id: label
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.right: action.visible ? action.left : parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        color: "#ffffff"
        font.pixelSize: 14
        wrapMode: Text.WordWrap
    }

    Button {
        id: action
        visible: text !== ""
        flat: true
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        font.pixelSize: 14
        Material.foreground: "#12D2BD"
        onClicked: notice.actionClicked()
    }
}
