import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0

// Three list sliders for the red, green and blue colour compensation.
Column {
    id: fromColumn

    property var listData: []
    property alias title: label.text
    property alias mceRindex: sliderR.currentIndex
    property alias mceGindex: sliderG.currentIndex
    property alias mceBindex: sliderB.currentIndex
    property alias failureR: sliderR.failure
    property alias failureG: sliderG.failure
    property alias failureB: sliderB.failure

    signal mceIndexChanged(var type, var index)

    opacity: enabled ? 1 : 0.7

    Text {
        id: label
        height: 18
        font.pixelSize: 14
        color: fromColumn.enabled ? "#B8b8b8" : "#999999"
    }

    Row {
        id: rowR
        width: fromColumn.width
        Text {
            width: 52
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            font.bold: true
            font.pixelSize: 14
            color: "#E1392D"
            text: qsTr("red")
        }
        VexloSlider {
            id: sliderR
            width: rowR.width - 52
            height: 34
            listData: fromColumn.listData
            Material.foreground: fromColumn.enabled ? "#E1392D" : Material.Grey
            Material.accent: fromColumn.enabled ? "#E1392D" : Material.Grey
            onValueChanged: fromColumn.mceIndexChanged(1, value)
        }
    }

    Row {
        id: rowG
        width: fromColumn.width
        Text {
            width: 52
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            font.bold: true
            font.pixelSize: 14
            color: "#2C9F4B"
            text: qsTr("green")
        }
        VexloSlider {
            id: sliderG
            width: rowG.width - 52
            height: 34
            listData: fromColumn.listData
            Material.foreground: fromColumn.enabled ? "#2C9F4B" : Material.Grey
            Material.accent: fromColumn.enabled ? "#2C9F4B" : Material.Grey
            onValueChanged: fromColumn.mceIndexChanged(2, value)
        }
    }

    Row {
        id: rowB
        width: fromColumn.width
        Text {
            width: 52
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignRight
            font.bold: true
            font.pixelSize: 14
            color: "#1A73E8"
            text: qsTr("blue")
        }
        VexloSlider {
            id: sliderB
            width: rowB.width - 52
            height: 34
            listData: fromColumn.listData
            Material.foreground: fromColumn.enabled ? "#1A73E8" : Material.Grey
            Material.accent: fromColumn.enabled ? "#1A73E8" : Material.Grey
            onValueChanged: fromColumn.mceIndexChanged(3, value)
        }
    }
}
