import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0
import LmImageItem 1.0

// The image statistics panel, laid over the preview: histograms of the live
// picture (and of the reference while one is held), the clipped shares per
// channel and the figures of the measured region, live, reference and their
// difference. Figures come in as the maps of the backend's image statistics.
Rectangle {
    id: panel

    property var histogram: []
    property var referenceHistogram: []
    property var live: ({})
    property var reference: ({})
    property var difference: ({})
    property bool referenceHeld: false
    property bool hasRegion: false

    signal holdClicked()
    signal releaseClicked()
    // The reference is to be shown in place of the live picture while `down`.
    signal compareHeld(bool down)
    signal clearRegionClicked()

    readonly property color textColour: "#E8E8E8"
    readonly property int cellWidth: 62

    Material.theme: Material.Dark
    Material.accent: "#12D2BD"
    Material.foreground: textColour
    width: 380
    height: content.height + 20
    color: "#D8202020"
    radius: 4

    // Clicks on the panel stay with it.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
    }

    function figure(map, key, index, decimals, signed) {
        var v = map[key]
        if (v === undefined)
            return ""
        if (index >= 0)
            v = v[index]
        var text = Number(v).toFixed(decimals)
        return signed && v > 0 ? "+" + text : text
    }

    Column {
        id: content
        x: 10
        y: 10
        width: panel.width - 20
        spacing: 6

        Row {
            width: parent.width
            Text {
                width: parent.width - logSwitch.width
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("image_statistics")
                color: panel.textColour
                font.bold: true
                font.pixelSize: 15
            }
            CheckBox {
                id: logSwitch
                height: 32
                text: qsTr("log_scale")
            }
        }

        HistogramItem {
            width: parent.width
            height: 110
            bins: panel.histogram
            referenceBins: panel.referenceHeld ? panel.referenceHistogram : []
            logScale: logSwitch.checked
            Rectangle {
                anchors.fill: parent
                color: "transparent"
                border.color: "#60ffffff"
            }
        }

        // Clipped shares: the rows are the two ends, the columns the channels.
        Grid {
            columns: 5
            rowSpacing: 2
            Repeater {
                model: ["", "R", "G", "B", "Y"].concat(
                           [qsTr("clipped_low"), 0, 1, 2, 3], [qsTr("clipped_high"), 0, 1, 2, 3])
                Text {
                    readonly property bool isLabel: typeof modelData === "string"
                    width: index % 5 === 0 ? content.width - 4 * 58 : 58
                    horizontalAlignment: index % 5 === 0 ? Text.AlignLeft : Text.AlignRight
                    color: panel.textColour
                    font.pixelSize: 13
                    text: isLabel ? modelData
                                  : panel.figure(panel.live, index < 10 ? "clipLow" : "clipHigh", modelData, 2, false) + " %"
                }
            }
        }

        Text {
            visible: !panel.hasRegion
            width: parent.width
            wrapMode: Text.WordWrap
            color: "#B8B8B8"
            font.pixelSize: 13
            text: qsTr("region_hint")
        }

        // The region's figures: one row per figure, live / reference / difference.
        Grid {
            visible: panel.hasRegion
            // Reference and difference only while a reference is held.
            columns: panel.referenceHeld ? 4 : 2
            rowSpacing: 2
            Repeater {
                id: regionCells
                // label, key, list index (-1: a number), decimals
                readonly property var lines: [
                    ["", "", -1, 0],
                    [qsTr("stats_mean") + " R", "mean", 0, 1], [qsTr("stats_mean") + " G", "mean", 1, 1],
                    [qsTr("stats_mean") + " B", "mean", 2, 1], [qsTr("stats_mean") + " Y", "mean", 3, 1],
                    ["R/G", "rg", -1, 3], ["B/G", "bg", -1, 3],
                    [qsTr("stats_noise") + " R", "sd", 0, 2], [qsTr("stats_noise") + " G", "sd", 1, 2],
                    [qsTr("stats_noise") + " B", "sd", 2, 2], [qsTr("stats_noise") + " Y", "sd", 3, 2],
                    [qsTr("stats_sharpness"), "sharpness", -1, 0]
                ]
                model: lines.length * 4
                Text {
                    readonly property int column: index % 4
                    readonly property var line: regionCells.lines[Math.floor(index / 4)]
                    readonly property bool header: index < 4
                    width: column === 0 ? content.width - 3 * 80 : 80
                    visible: column < 2 || panel.referenceHeld
                    horizontalAlignment: column === 0 ? Text.AlignLeft : Text.AlignRight
                    color: column === 3 ? "#12D2BD" : panel.textColour
                    font.pixelSize: 13
                    font.bold: header
                    text: {
                        if (column === 0)
                            return line[0]
                        if (header)
                            return [qsTr("stats_live"), qsTr("stats_reference"), qsTr("stats_difference")][column - 1]
                        var map = [panel.live, panel.reference, panel.difference][column - 1]
                        return panel.figure(map, line[1], line[2], line[3], column === 3)
                    }
                }
            }
        }

        Flow {
            width: parent.width
            spacing: 6
            Button {
                height: 40
                font.pixelSize: 13
                text: panel.referenceHeld ? qsTr("release_reference") : qsTr("hold_reference")
                onClicked: panel.referenceHeld ? panel.releaseClicked() : panel.holdClicked()
            }
            Button {
                height: 40
                font.pixelSize: 13
                enabled: panel.referenceHeld
                text: qsTr("show_reference")
                onPressedChanged: panel.compareHeld(pressed)
            }
            Button {
                height: 40
                font.pixelSize: 13
                enabled: panel.hasRegion
                text: qsTr("clear_region")
                onClicked: panel.clearRegionClicked()
            }
        }
    }
}
