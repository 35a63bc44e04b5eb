import QtQuick 2.12
import QtQuick.Controls 2.5

// Laid over a row whose control the camera lacks: says why while the mouse is
// on it. It takes no clicks and no wheel, so the column still scrolls under it.
MouseArea {
    property string reason: ""

    visible: reason !== ""
    hoverEnabled: true
    acceptedButtons: Qt.NoButton
    ToolTip.visible: containsMouse
    ToolTip.text: reason
    ToolTip.delay: 300
}
