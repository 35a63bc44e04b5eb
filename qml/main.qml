import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Controls.Material 2.0
import QtQuick.Window 2.0
import LmImageItem 1.0

// Start-up window: shows the live picture of the open camera until the tuning
// window is in place.
ApplicationWindow {
    id: root
    visible: true
    width: 1280
    height: 760
    title: qsTr("app_title")
    color: "#000000"

    Item {
        id: previewArea
        anchors.fill: parent

        // Width / height of the frames, 0 while the backend does not report a
        // frame size; the picture then fills the window.
        // (The backend is gone for a moment at quit, before the window.)
        readonly property var frameSize: qmldata ? qmldata.frameSize : undefined
        readonly property real frameRatio: (frameSize !== undefined && frameSize !== null
                                            && frameSize.length >= 2
                                            && frameSize[0] > 0 && frameSize[1] > 0)
                                           ? frameSize[0] / frameSize[1] : 0
        readonly property bool areaWiderThanFrame: frameRatio > 0 && width / Math.max(height, 1) > frameRatio

        LmImageItem {
            id: preview
            anchors.centerIn: parent
            width: previewArea.frameRatio <= 0 ? previewArea.width
                   : previewArea.areaWiderThanFrame ? previewArea.height * previewArea.frameRatio
                   : previewArea.width
            height: previewArea.frameRatio <= 0 ? previewArea.height
                    : previewArea.areaWiderThanFrame ? previewArea.height
                    : previewArea.width / previewArea.frameRatio
        }
    }

    Component.onCompleted: {
        qmldata.ui_ready = true
        if (typeof qmldata.setImageFrameRender === "function")
            qmldata.setImageFrameRender(preview)
    }
}
