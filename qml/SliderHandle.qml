import QtQuick 2.12
import QtQuick.Controls.Material 2.12
import QtQuick.Controls.Material.impl 2.12

// The round handle of a list slider, with the Material ripple around it.
Item {
    id: root

    property real value: 0
    property bool handleHasFocus: false
    property bool handlePressed: false
    property bool handleHovered: false
    readonly property int initialSize: 13
    readonly property var control: parent

    implicitWidth: initialSize
    implicitHeight: initialSize

    Rectangle {
        id: handleRect
        width: parent.width
        height: parent.height
        radius: width / 2
        color: root.control ? root.control.Material.accentColor : Material.accentColor
        scale: root.handlePressed ? 1.2 : 1

        Behavior on scale {
            NumberAnimation {
                duration: 250
            }
        }
    }

    Ripple {
        width: 18
        height: 18
        anchors.centerIn: parent
        pressed: root.handlePressed
        active: root.handlePressed || root.handleHasFocus || root.handleHovered
        color: "#2012D2BD"
    }
}
