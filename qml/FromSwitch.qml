import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0
import QtQuick.Controls.Material.impl 2.12

// A titled switch. A click toggles it at most once a second; a state pushed
// from outside is shown, never echoed.
Row {
    id: fromSwitch

    property bool checked: false
    property alias title: label.text
    // Why the value shown did not reach the camera; empty when it did.
    property string failure: ""
    property alias switchText: control.text

    signal switchChanged(var checked)

    height: 38
    spacing: 12
    opacity: enabled ? 1 : 0.7

    onCheckedChanged: control.checked = checked

    Text {
        id: label
        width: 120
        anchors.verticalCenter: parent.verticalCenter
        horizontalAlignment: Text.AlignLeft
        font.pixelSize: 14
        font.bold: false
        color: fromSwitch.failure !== "" ? "#E1392D" : fromSwitch.enabled ? "#B8b8b8" : "#999999"
        font.underline: fromSwitch.failure !== ""
    }

    Switch {
        id: control
        ToolTip.visible: fromSwitch.failure !== "" && hovered
        ToolTip.text: fromSwitch.failure
        anchors.verticalCenter: parent.verticalCenter
        checked: fromSwitch.checked

        // Only a toggle by the user differs from the state pushed from outside;
        // a toggle the receiver did not take goes back.
        onCheckedChanged: {
            if (checked === fromSwitch.checked)
                return
            fromSwitch.switchChanged(checked)
            if (checked !== fromSwitch.checked)
                checked = fromSwitch.checked
        }

        indicator: Rectangle {
            implicitWidth: 44
            implicitHeight: 22
            x: control.leftPadding
            y: parent.height / 2 - height / 2
            radius: height / 2
            color: "#00ffffff"
            border.width: 1
            border.color: control.hovered ? "#12D2BD" : "#A0607D8B"

            Rectangle {
                id: knob
                x: control.checked ? parent.width - width : 0
                width: 22
                height: 22
                radius: 11
                color: control.checked ? "#12D2BD" : "#A0B8B8B8"
                border.width: 1
                border.color: control.hovered || control.checked ? "#12D2BD" : "#607D8B"

                Ripple {
                    width: 28
                    height: 28
                    anchors.centerIn: parent
                    color: "#2012D2BD"
                    pressed: control.pressed
                    active: control.pressed || control.hovered
                }
            }
        }

        contentItem: Text {
            text: control.text
            color: "#B8b8b8"
            verticalAlignment: Text.AlignVCenter
            opacity: enabled ? 1.0 : 0.3
            leftPadding: control.indicator.width + control.spacing
        }

        MouseArea {
            property real lastTime: 0

            anchors.fill: parent
            onClicked: {
                var now = new Date().getTime()
                if (now - lastTime > 1000) {
                    lastTime = now
                    control.toggle()
                }
            }
        }
    }
}
