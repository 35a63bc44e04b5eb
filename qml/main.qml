import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0
import QtQuick.Layouts 1.3
import QtQuick.Window 2.0
import LmImageItem 1.0

// The tuning window: the parameter column on the left, every control bound to
// the backend, and the live picture on the right, fitted or at one image pixel
// per screen pixel with mouse panning.
ApplicationWindow {
    id: applicationWindow

    visible: true
    width: 1280
    height: 1000
    minimumWidth: 960
    minimumHeight: 800
    title: qsTr("app_title") + " V0.9.4"

    menuBar: AppMenuBar {
        id: appMenuBar
        onCloseRequested: applicationWindow.close()
    }

    function indexList(last) {
        var list = []
        for (var i = 0; i <= last; ++i)
            list.push(i)
        return list
    }

    // The slider rows, in their order: the backend's property, the title, and
    // the value list (the backend's, or the indexes 0 ... last) and enable.
    readonly property var sliderRows: [
        {name: "colorTemperatureIndex", title: qsTr("ColorTemperature"), list: "colorTemperatureList",
         enable: "colorTemperatureEnable"},
        {name: "apertureIndex", title: qsTr("Aperture"), list: "apertureList", enable: "apertureEnable"},
        {name: "exposureIndex", title: qsTr("Exposure Time"), list: "exposureList", enable: "exposureEnable"},
        {name: "isoIndex", title: qsTr("ISO"), list: "isoList", enable: "isoEnable"},
        {name: "evIndex", title: qsTr("EV"), list: "evList", enable: "evEnable"},
        {name: "sceIndex", title: qsTr("SCE"), last: 15},
        {name: "saturationIndex", title: qsTr("Saturation"), last: 10},
        {name: "contrastIndex", title: qsTr("Contrast"), last: 10},
        {name: "sharpnessIndex", title: qsTr("Sharpness"), last: 36},
        {name: "warmnessIndex", title: qsTr("Warmness"), list: "warmnessList", enable: "warmnessEnable"}
    ]

    // Why a row's value did not reach the camera; empty when it did.
    function failureOf(row) {
        var reason = camstatus.failures[row]
        return reason ? reason : ""
    }

    // Why a row's writes go nowhere: the camera's driver has no control for it.
    function noControl(row) {
        return qmldata.missingControls.indexOf(row) >= 0 ? qsTr("no_control") : ""
    }

    function setMceIndex(type, index) {
        if (type === 1)
            qmldata.mceRindex = index
        else if (type === 2)
            qmldata.mceGindex = index
        else if (type === 3)
            qmldata.mceBindex = index
    }

    Component.onCompleted: {
        qmldata.ui_ready = true
        qmldata.setImageFrameRender(imageframerenderer)
    }

    // The backend decides whether and how the program ends.
    onClosing: {
        close.accepted = false
        qmldata.showSaveBox()
    }

    Rectangle {
        id: leftItem
        color: "#2A2A2A"
        width: 380
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.bottom: parent.bottom

        // On a window shorter than the column, the column scrolls (scroll bar or
        // mouse wheel); it is not dragged, so a drag always belongs to a control.
        Flickable {
            id: columnView
            anchors.fill: parent
            contentWidth: width
            contentHeight: column1.height
            interactive: false
            clip: true
            boundsBehavior: Flickable.StopAtBounds

            function scrollBy(dy) {
                contentY = Math.max(0, Math.min(contentHeight - height, contentY + dy))
            }

            ScrollBar.vertical: ScrollBar {
                id: columnScrollBar
                policy: columnView.contentHeight > columnView.height ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                Material.foreground: "#B8b8b8"
            }

            // Under the controls: the wheel over any of them (they take none) scrolls.
            MouseArea {
                width: columnView.width
                height: Math.max(columnView.height, column1.height)
                acceptedButtons: Qt.NoButton
                onWheel: columnView.scrollBy(-wheel.angleDelta.y / 2)
            }

            Column {
                id: column1
                width: columnView.width
                leftPadding: 20
                topPadding: 10
                spacing: 0

                FromComboBox {
                    id: fromCameraName
                    comboBoxWidth: 210
                    title: qsTr("CameraName")
                    models: qmldata.cameraNames
                    currentIndex: qmldata.cameraIndex
                    onNewtIndexChanged: qmldata.cameraIndex = index
                }
                FromComboBox {
                    id: fromPreviewSize
                    comboBoxWidth: 150
                    title: qsTr("PreviewSize")
                    models: qmldata.previewSizeList
                    currentIndex: qmldata.previewSizeIndex
                    onNewtIndexChanged: qmldata.previewSizeIndex = index
                }
                FromSwitch {
                    id: fromBrightMode
                    unavailable: noControl("brightSwitch")
                    failure: applicationWindow.failureOf("brightSwitch")
                    switchText: ""
                    title: qsTr("BrightMode")
                    checked: qmldata.brightSwitch
                    onSwitchChanged: qmldata.brightSwitch = checked
                }
                FromSwitch {
                    id: fromGrinding
                    unavailable: noControl("skinSwitch")
                    failure: applicationWindow.failureOf("skinSwitch")
                    switchText: ""
                    title: qsTr("Grinding")
                    checked: qmldata.skinSwitch
                    onSwitchChanged: qmldata.skinSwitch = checked
                }
                FromComboBox {
                    id: fromAecMode
                    unavailable: noControl("aecIndex")
                    failure: applicationWindow.failureOf("aecIndex")
                    comboBoxWidth: 180
                    title: qsTr("Aec mod")
                    models: [qsTr("Auto"), qsTr("Manual"), qsTr("Exposure Manual"), qsTr("Aperture Manual")]
                    currentIndex: qmldata.aecIndex
                    onNewtIndexChanged: qmldata.aecIndex = index
                }
                FromComboBox {
                    id: fromAntiFlicker
                    unavailable: noControl("afdIndex")
                    failure: applicationWindow.failureOf("afdIndex")
                    comboBoxWidth: 90
                    title: qsTr("AntiFlicker")
                    models: [qsTr("Auto"), "50Hz", "60Hz", qsTr("Off")]
                    currentIndex: qmldata.afdIndex
                    enabled: qmldata.afdEnable
                    onNewtIndexChanged: qmldata.afdIndex = index
                }
                FromComboBox {
                    id: fromAwb
                    unavailable: noControl("awbIndex")
                    failure: applicationWindow.failureOf("awbIndex")
                    comboBoxWidth: 180
                    title: qsTr("AWB")
                    models: [qsTr("Auto"), qsTr("incandescent"), qsTr("fluorescent"), qsTr("daylight"),
                             qsTr("cloudy-daylight"), qsTr("shade"), qsTr("Manual")]
                    currentIndex: qmldata.awbIndex
                    onNewtIndexChanged: qmldata.awbIndex = index
                }

                Repeater {
                    model: applicationWindow.sliderRows
                    FromSlider2 {
                        readonly property var row: modelData
                        unavailable: noControl(row.name)
                        failure: applicationWindow.failureOf(row.name)
                        topPadding: index === 0 ? 10 : 0
                        anchors { left: column1.left; right: column1.right; margins: 20 }
                        title: row.title
                        listData: row.list ? qmldata[row.list] : indexList(row.last)
                        currentIndex: qmldata[row.name]
                        enabled: row.enable ? qmldata[row.enable] : true
                        onValueChanged: qmldata[row.name] = value
                    }
                }
                FromMceSlider {
                    id: fromMceSlider
                    unavailable: [noControl("mceRindex"), noControl("mceGindex"), noControl("mceBindex")]
                    failureR: applicationWindow.failureOf("mceRindex")
                    failureG: applicationWindow.failureOf("mceGindex")
                    failureB: applicationWindow.failureOf("mceBindex")
                    anchors { left: column1.left; right: column1.right; margins: 20 }
                    title: qsTr("MCE")
                    listData: qmldata.mceList
                    mceRindex: qmldata.mceRindex
                    mceGindex: qmldata.mceGindex
                    mceBindex: qmldata.mceBindex
                    onMceIndexChanged: applicationWindow.setMceIndex(type, index)
                }

                Button {
                    id: restoreDefaultSettings
                    text: qsTr("restore_default_settings")
                    font.pixelSize: 15
                    // The column then fits the 1280 x 1000 window in both languages (the
                    // style's own height, which follows the font, is 4 to 5 pixels more).
                    height: 38
                    anchors.right: column1.right
                    anchors.rightMargin: 24
                    Material.foreground: hovered ? "#ffffff" : "#B8b8b8"
                    Material.accent: enabled ? "#12D2BD" : Material.Grey
                    onClicked: qmldata.restoreDefaultSettings()

                    background: Rectangle {
                        radius: 4
                        color: "#00000000"
                        border.color: restoreDefaultSettings.hovered ? "#12D2BD" : "#394149"
                        border.width: restoreDefaultSettings.pressed ? 2 : 1
                    }
                }
            }
        }
    }

    Rectangle {
        id: rightItem

        property int frameWidth: qmldata.frameSize[0]
        property int frameHeight: qmldata.frameSize[1]
        property bool isLandscapeScreen: false
        property bool displayZoom: qmldata.displayZoom

        color: "#000000"
        clip: true
        anchors.left: leftItem.right
        anchors.leftMargin: 0
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom

        // Fit mode: the whole picture, centred across the short side. Pixel mode:
        // one image pixel per item pixel from the top-left corner, panned by mouse.
        function updatePreviewDisplay() {
            if (displayZoom) {
                if (frameWidth <= 0 || frameHeight <= 0)
                    return
                isLandscapeScreen = frameWidth > frameHeight
                var ratio = frameWidth / frameHeight
                if (isLandscapeScreen) {
                    imageframerenderer.width = width
                    imageframerenderer.height = width / ratio
                    imageframerenderer.anchors.topMargin = (height - imageframerenderer.height) / 2
                    imageframerenderer.anchors.leftMargin = 0
                } else {
                    imageframerenderer.height = height
                    imageframerenderer.width = height * ratio
                    imageframerenderer.anchors.topMargin = 0
                    imageframerenderer.anchors.leftMargin = (width - imageframerenderer.width) / 2
                }
                mousearea.enabled = false
                mousearea.visible = false
                mousearea.cursorShape = Qt.ArrowCursor
            } else {
                imageframerenderer.anchors.leftMargin = 0
                imageframerenderer.anchors.topMargin = 0
                imageframerenderer.width = frameWidth
                imageframerenderer.height = frameHeight
                mousearea.enabled = true
                mousearea.visible = true
                mousearea.cursorShape = Qt.PointingHandCursor
            }
        }

        // The range a margin may take: a picture larger than the area stops
        // where its edge meets the area's, a smaller one stays inside it.
        function clampMargin(m, areaSize, itemSize) {
            var free = areaSize - itemSize
            return free < 0 ? Math.max(free, Math.min(m, 0)) : Math.max(0, Math.min(m, free))
        }

        onWidthChanged: updatePreviewDisplay()
        onHeightChanged: updatePreviewDisplay()
        onFrameWidthChanged: updatePreviewDisplay()
        onFrameHeightChanged: updatePreviewDisplay()
        onDisplayZoomChanged: updatePreviewDisplay()

        // The OpenGL item, or the painted one where the window runs Qt Quick's
        // software scene graph (chosen at start-up).
        PreviewItem {
            id: imageframerenderer
            anchors.left: parent.left
            anchors.top: parent.top
        }

        // The held reference, in place of the live picture while the panel's A/B button is down.
        StillImageItem {
            id: referenceView
            anchors.fill: imageframerenderer
            visible: false
            image: qmldata.imageStats.referenceImage
        }

        MouseArea {
            id: mousearea

            property var targetLeftMargin: 0
            property var targetTopMargin: 0

            anchors.fill: parent
            drag.axis: Drag.XAxis | Drag.YAxis

            onPressed: {
                targetLeftMargin = mouseX - imageframerenderer.anchors.leftMargin
                targetTopMargin = mouseY - imageframerenderer.anchors.topMargin
                cursorShape = Qt.SizeAllCursor
            }
            onPositionChanged: {
                if (rightItem.displayZoom)
                    return
                imageframerenderer.anchors.leftMargin = rightItem.clampMargin(
                            mouseX - targetLeftMargin, rightItem.width, imageframerenderer.width)
                imageframerenderer.anchors.topMargin = rightItem.clampMargin(
                            mouseY - targetTopMargin, rightItem.height, imageframerenderer.height)
            }
            onReleased: cursorShape = Qt.PointingHandCursor
        }

        RegionOverlay {
            anchors.fill: imageframerenderer
            active: qmldata.imageStats.visible
            region: qmldata.imageStats.region
            onRegionDrawn: qmldata.imageStats.setRegion(region)
        }

        StatsPanel {
            id: statsPanel
            visible: qmldata.imageStats.visible
            anchors.right: parent.right
            // Below the debug text when the area is too narrow for both side by side.
            anchors.top: debugInfoText.visible && width + debugInfoText.width + 20 > parent.width
                         ? debugInfoText.bottom : parent.top
            anchors.margins: 10
            histogram: qmldata.imageStats.histogram
            referenceHistogram: qmldata.imageStats.referenceHistogram
            live: qmldata.imageStats.live
            reference: qmldata.imageStats.reference
            difference: qmldata.imageStats.difference
            referenceHeld: qmldata.imageStats.referenceHeld
            hasRegion: qmldata.imageStats.region.width > 0
            onHoldClicked: qmldata.imageStats.holdReference()
            onReleaseClicked: qmldata.imageStats.releaseReference()
            onCompareHeld: referenceView.visible = down && referenceHeld
            onClearRegionClicked: qmldata.imageStats.setRegion(Qt.rect(0, 0, 0, 0))
        }

        // From the opening of a camera until it has the panel's values.
        SnapshotNotice {
            id: panelNotice
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.top
            anchors.topMargin: 8
            opacity: qmldata.panelOnCamera ? 0 : 1
            text: qsTr("panel_not_on_camera")
            actionText: qsTr("sync_now")
            onActionClicked: qmldata.showSyncBox()
        }

        // Over the preview: a camera that does not answer its controls, and
        // the short notices of store, sync and snapshot.
        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.top
            anchors.topMargin: 60
            spacing: 12
            z: 1

            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: camstatus.notAnswering
                text: qsTr("camera_not_answering")
                color: "#E1392D"
                font.bold: true
                font.pixelSize: 24
                background: Rectangle { color: "#C0000000"; radius: 4 }
                padding: 10
            }
            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: camstatus.notice !== ""
                text: camstatus.notice
                color: "#ffffff"
                font.pixelSize: 18
                background: Rectangle { color: "#C0000000"; radius: 4 }
                padding: 10
            }
        }

        Text {
            id: noPictureText
            anchors.centerIn: parent
            visible: qmldata.noPictureNotice
            text: qsTr("camera_no_picture_reopening")
            color: "#12D2BD"
            font.pixelSize: 20
        }

        Text {
            id: debugInfoText
            y: panelNotice.visible ? panelNotice.y + panelNotice.height : 0
            text: qmldata.debugStr
            visible: qmldata.isDebugVisible
            color: "#E1392D"
            font.bold: true
            font.pixelSize: 18
            // Fixed pitch, so that the values line up; drawn by the font engine,
            // which makes a bold face for fonts that have none.
            font.family: "monospace"
            renderType: Text.NativeRendering
            leftPadding: 10
            topPadding: 10
        }

        SnapshotNotice {
            id: snapshotNotice
            objectName: "snapshotNotice"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 24
        }

        Connections {
            target: qmldata
            function onSnapshotSaved(fileName) { snapshotNotice.show(qsTr("snapshot_saved").arg(fileName)) }
        }
    }
}
