import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0

// A titled combo box that reports only the choices the user makes by clicking an
// entry of its open list; an index pushed from outside is shown, never echoed.
Row {
    id: fromComboBox

    property var models: []
    property int currentIndex: -1
    property int comboBoxWidth: 150
    // Click tracking: 1 list opened or index pushed, 2 entry clicked,
    // 3 reporting, 4 reported, 0 list closed.
    property var cbClickedStep: 1
    property alias title: label.text
    // Why the value shown did not reach the camera; empty when it did.
    property string failure: ""

    signal newtIndexChanged(var index)

    spacing: 12
    opacity: enabled ? 1 : 0.7

    onCurrentIndexChanged: {
        comboBox.currentIndex = currentIndex
        cbClickedStep = 1
    }
    onModelsChanged: {
        comboBox.model = models
        comboBox.currentIndex = currentIndex
    }
    onEnabledChanged: comboBox.enabled = enabled

    Text {
        id: label
        width: 120
        anchors.verticalCenter: parent.verticalCenter
        horizontalAlignment: Text.AlignLeft
        font.pixelSize: 14
        font.bold: false
        color: fromComboBox.failure !== "" ? "#E1392D" : fromComboBox.enabled ? "#B8b8b8" : "#999999"
        font.underline: fromComboBox.failure !== ""
    }

    ComboBox {
        id: comboBox
        ToolTip.visible: fromComboBox.failure !== "" && hovered
        ToolTip.text: fromComboBox.failure
        width: fromComboBox.comboBoxWidth
        height: 36
        anchors.verticalCenter: parent.verticalCenter

        onDownChanged: fromComboBox.cbClickedStep = down ? 1 : 0
        onPressedChanged: canvas.requestPaint()
        onEnabledChanged: canvas.requestPaint()
        onCurrentIndexChanged: {
            if (fromComboBox.cbClickedStep === 2) {
                fromComboBox.cbClickedStep = 3
                fromComboBox.newtIndexChanged(currentIndex)
                fromComboBox.cbClickedStep = 4
            }
            // Anything but a click in the open list (keys, wheel), and a choice
            // the receiver did not take, goes back to the index from outside.
            if (currentIndex !== fromComboBox.currentIndex)
                currentIndex = fromComboBox.currentIndex
        }

        background: Rectangle {
            implicitWidth: 120
            implicitHeight: 40
            radius: 2
            color: "#00000000"
            border.color: comboBox.hovered ? "#12D2BD" : "#394149"
            border.width: comboBox.pressed ? 2 : 1
        }

        contentItem: Text {
            leftPadding: 10
            rightPadding: comboBox.indicator.width + comboBox.spacing
            text: comboBox.displayText
            font: comboBox.font
            color: comboBox.enabled ? "#12D2BD" : "#999999"
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }

        indicator: Canvas {
            id: canvas
            x: comboBox.width - width - comboBox.rightPadding
            y: comboBox.topPadding + (comboBox.availableHeight - height) / 2
            width: 12
            height: 8
            contextType: "2d"

            onPaint: {
                var ctx = getContext("2d")
                ctx.reset()
                ctx.moveTo(0, 0)
                ctx.lineTo(width, 0)
                ctx.lineTo(width / 2, height)
                ctx.closePath()
                ctx.fillStyle = comboBox.enabled ? "#12D2BD" : "#999999"
                ctx.fill()
            }
        }

        // The open list is as wide as its widest entry, so that no entry is cut
        // (the entries are measured by texts that are never seen).
        Column {
            id: entryWidths
            opacity: 0
            Repeater {
                model: fromComboBox.models
                Text {
                    text: modelData
                    font: comboBox.font
                }
            }
        }
        popup.width: Math.max(comboBox.width, Math.ceil(entryWidths.implicitWidth) + 40)

        delegate: ItemDelegate {
            width: ListView.view ? ListView.view.width : comboBox.width
            height: 44
            highlighted: comboBox.highlightedIndex === index
            onClicked: {
                if (fromComboBox.cbClickedStep === 1)
                    fromComboBox.cbClickedStep = 2
            }

            contentItem: Text {
                text: modelData
                color: "#000000"
                font: comboBox.font
                elide: Text.ElideRight
                verticalAlignment: Text.AlignVCenter
            }

            background: Rectangle {
                radius: 4
                color: highlighted ? "#8012D2BD"
                                   : comboBox.currentIndex === index ? "#4012D2BD" : "#ffffff"
            }
        }
    }
}
