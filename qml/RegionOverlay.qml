import QtQuick 2.12

// The measured region over the preview: laid over the picture item, so it
// follows the fit, the pixel view and its panning; the region comes in as
// fractions of the picture as shown. A drag with the right mouse button draws
// a new one (the left button stays with the panning below); a click without a
// drag clears it.
Item {
    id: overlay

    // Fractions (0..1) of the picture as shown; empty: none.
    property rect region: Qt.rect(0, 0, 0, 0)
    property bool active: true

    signal regionDrawn(rect region)

    function clamp01(v) { return Math.max(0, Math.min(1, v)) }

    Rectangle {
        id: shown
        visible: overlay.active && (dragArea.dragging || overlay.region.width > 0)
        x: (dragArea.dragging ? dragArea.draft.x : overlay.region.x) * overlay.width
        y: (dragArea.dragging ? dragArea.draft.y : overlay.region.y) * overlay.height
        width: (dragArea.dragging ? dragArea.draft.width : overlay.region.width) * overlay.width
        height: (dragArea.dragging ? dragArea.draft.height : overlay.region.height) * overlay.height
        color: "#2012D2BD"
        border.color: dragArea.dragging ? "#ffffff" : "#12D2BD"
        border.width: 2
    }

    MouseArea {
        id: dragArea

        property bool dragging: false
        property point start: Qt.point(0, 0)
        property rect draft: Qt.rect(0, 0, 0, 0)

        anchors.fill: parent
        enabled: overlay.active
        acceptedButtons: Qt.RightButton

        function fractionAt(mx, my) {
            return Qt.point(overlay.clamp01(mx / overlay.width), overlay.clamp01(my / overlay.height))
        }
        onPressed: {
            start = fractionAt(mouse.x, mouse.y)
            draft = Qt.rect(start.x, start.y, 0, 0)
            dragging = true
        }
        onPositionChanged: {
            var p = fractionAt(mouse.x, mouse.y)
            draft = Qt.rect(Math.min(start.x, p.x), Math.min(start.y, p.y),
                            Math.abs(p.x - start.x), Math.abs(p.y - start.y))
        }
        onReleased: {
            dragging = false
            overlay.regionDrawn(draft)
        }
        onCanceled: dragging = false
    }
}
