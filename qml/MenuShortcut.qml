import QtQuick 2.12

// The key that also runs a menu entry, shown at the entry's right end.
Text {
    anchors.right: parent.right
    anchors.rightMargin: 16
    anchors.verticalCenter: parent.verticalCenter
    font.pixelSize: 12
    color: "#757575"
}
