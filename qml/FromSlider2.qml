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
    // Why the camera cannot take this row; the row is then greyed and says so.
    property string unavailable: ""
    readonly property bool usable: enabled && unavailable === ""
    property alias failure: slider.failure

    opacity: usable ? 1 : 0.7

    Text {
        id: label
        height: 18
        font.pixelSize: 14
        color: fromColumn.usable ? "#B8b8b8" : "#999999"

        UnavailableTip {
            width: fromColumn.width
            height: fromColumn.height
            reason: fromColumn.unavailable
        }
    }

    VexloSlider {
        id: slider
        height: 36
        enabled: fromColumn.usable
        Material.foreground: fromColumn.usable ? "#607D8B" : Material.Grey
        Material.accent: fromColumn.usable ? "#12D2BD" : Material.Grey
    }
}
