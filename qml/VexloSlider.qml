import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0
import QtQuick.Layouts 1.3

// A slider over a list of entries: its value is the index of the entry shown.
// The value changes only by whole steps: a click beside the handle moves it one
// entry, a drag takes the entry under the handle when the mouse is released.
Slider {
    id: slider

    property int currentIndex: 0
    property var listData: []
    property bool showProgress: false
    property string floatPrefix: ""
    property real newPosition: 0
    // Why the value shown did not reach the camera; empty when it did.
    property string failure: ""

    live: false
    ToolTip.visible: failure !== "" && hovered
    ToolTip.text: failure
    stepSize: 1
    snapMode: Slider.SnapAlways
    orientation: Qt.Horizontal
    width: parent ? parent.width : implicitWidth

    function lastIndex() {
        return listData ? listData.length - 1 : -1
    }

    function clampIndex(i) {
        return Math.max(0, Math.min(i, lastIndex()))
    }

    function followIndex() {
        if (to > 0 && currentIndex >= 0 && currentIndex <= lastIndex())
            value = currentIndex
    }

    // The handle follows the value again once a drag has moved it by hand.
    function bindHandle() {
        handle.x = Qt.binding(function() {
            return slider.leftPadding + slider.visualPosition * (slider.availableWidth - handle.width)
        })
    }

    onListDataChanged: {
        if (!listData || listData.length === 0)
            return
        from = 0
        to = listData.length - 1
        if (currentIndex >= 0 && currentIndex < listData.length)
            value = currentIndex
    }
    onCurrentIndexChanged: followIndex()

    handle: SliderHandle {
        id: handle
        width: 8
        height: 8
        x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
        y: slider.topPadding + (slider.availableHeight - height) / 2
        handleHasFocus: slider.visualFocus
        handlePressed: slider.pressed
        handleHovered: slider.hovered

        onXChanged: {
            var span = slider.availableWidth - width
            var p = span > 0 ? (x - slider.leftPadding) / span : 0
            slider.newPosition = Math.max(0, Math.min(1, p))
        }

        Label {
            anchors.bottom: parent.top
            anchors.bottomMargin: 0
            // Centred over the handle, but kept inside the slider at both ends.
            x: Math.max(-handle.x, Math.min(slider.width - handle.x - width, (handle.width - width) / 2))
            font.bold: true
            font.pixelSize: 14
            color: slider.failure !== "" ? "#E1392D" : slider.Material.accent
            font.underline: slider.failure !== ""
            // No padding above and below: the label then clears the title of
            // the row above the slider.
            topPadding: 0
            bottomPadding: 0
            leftPadding: 6
            rightPadding: 6
            text: {
                if (!slider.listData || slider.listData.length === 0)
                    return ""
                // from/to named so that the text follows a new list
                var i = slider.from <= slider.to ? slider.valueAt(slider.newPosition) : 0
                return slider.floatPrefix + slider.listData[slider.clampIndex(i)]
            }
        }
    }

    background: Rectangle {
        implicitWidth: 200
        implicitHeight: 48
        x: slider.leftPadding
        y: slider.topPadding + (slider.availableHeight - height) / 2
        width: slider.availableWidth
        height: 2
        color: "#34444B"
        radius: width / 2
        scale: -1

        Rectangle {
            x: 0
            anchors.verticalCenter: parent.verticalCenter
            width: handle.x
            height: 3
            color: slider.Material.accentColor
            visible: slider.showProgress
        }
    }

    MouseArea {
        id: mouseArea

        property real tmpPosition: 0

        anchors.fill: parent
        drag.target: handle
        drag.axis: Drag.XAxis
        drag.minimumX: 0
        drag.maximumX: slider.availableWidth

        onPressed: {
            slider.pressed = true
            tmpPosition = slider.newPosition
        }
        onReleased: {
            if (slider.pressed && tmpPosition >= 0 && tmpPosition !== slider.newPosition) {
                slider.value = slider.clampIndex(slider.valueAt(slider.newPosition))
                tmpPosition = -1
            }
            slider.pressed = false
            slider.bindHandle()
        }
        onCanceled: {
            slider.pressed = false
            slider.bindHandle()
        }
        onClicked: {
            if (mouse.x - 2 * handle.width > handle.x) {
                if (slider.value < slider.lastIndex())
                    slider.value += slider.stepSize
            } else if (mouse.x - handle.width < handle.x) {
                if (slider.value > 0)
                    slider.value -= slider.stepSize
            }
        }
    }
}
