import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0

// A titled list slider; `value` is the index of the entry chosen.
Column {
    id: fromColumn

    property alias title: label.text
    property alias currentIndex: slider.currentIndex
    property alias listData: slider.listData
    property alias value: slider.value
    property alias floatPrefix: slider.floatPrefix
    property alias failure: slider.failure

    opacity: enabled ? 1 : 0.7

    Text {
        id: label
        height: 18
        font.pixelSize: 14
        color: fromColumn.enabled ? "#B8b8b8" : "#999999"
    }

    VexloSlider {
        id: slider
        height: 36
        Material.foreground: fromColumn.enabled ? "#607D8B" : Material.Grey
        Material.accent: fromColumn.enabled ? "#12D2BD" : Material.Grey
    }
}
