import QtQuick 2.12
import QtQuick.Controls 2.5
import QtTest 1.2
import "qrc:/"

// The editing rules of the window's components; the receivers take every reported
// value, as the window does by writing it to the backend.
Item {
    id: root
    width: 640
    height: 480

    FromComboBox {
        id: combo
        models: ["a", "b", "c"]
        currentIndex: 0
        onNewtIndexChanged: currentIndex = index
    }
    FromSwitch {
        id: toggle
        y: 50
        onSwitchChanged: toggle.checked = checked
    }
    VexloSlider {
        id: slider
        y: 140
        width: 300
        height: 36
    }
    RegionOverlay {
        id: overlay
        y: 250
        width: 400
        height: 200
    }
    AppMenuBar {
        id: bar
        x: 320
        width: 320
    }

    SignalSpy { id: comboSpy; target: combo; signalName: "newtIndexChanged" }
    SignalSpy { id: toggleSpy; target: toggle; signalName: "switchChanged" }
    SignalSpy { id: regionSpy; target: overlay; signalName: "regionDrawn" }

    TestCase {
        name: "components"
        when: windowShown

        function test_comboBoxReportsOnlyUserChoices() {
            var box = combo.children[1]
            combo.currentIndex = 2 // pushed from outside
            compare(box.currentIndex, 2)
            box.forceActiveFocus()
            keyClick(Qt.Key_Up) // keys on the closed box are undone
            compare(box.currentIndex, 2)
            compare(comboSpy.count, 0)
            mouseClick(box)
            tryCompare(box.popup, "opened", true)
            mouseClick(box.popup.contentItem.itemAtIndex(0))
            tryCompare(box.popup, "visible", false)
            compare([comboSpy.count, comboSpy.signalArguments[0][0], box.currentIndex], [1, 0, 0])
        }

        function test_switchTogglesOncePerSecond() {
            toggle.checked = true // pushed from outside
            compare(toggleSpy.count, 0)
            var control = toggle.children[1]
            mouseClick(control)
            wait(50) // a quick second click, but not in the same millisecond
            mouseClick(control)
            compare([toggleSpy.count, toggle.checked], [1, false])
            wait(1100)
            mouseClick(control)
            compare([toggleSpy.count, toggle.checked], [2, true])
        }

        // The first child of `item` that passes `test`.
        function childOf(item, test) {
            for (var i = 0; i < item.children.length; ++i) {
                if (test(item.children[i]))
                    return item.children[i]
            }
            return null
        }
        function handleText() {
            return childOf(slider.handle, function(c) { return c.text !== undefined }).text
        }
        function checkBoxOf(entry) {
            return childOf(entry, function(c) { return String(c).indexOf("CheckBox") === 0 })
        }

        function test_sliderIndexRules() {
            slider.listData = []
            compare([slider.from, slider.to, handleText()], [0, 1, ""])
            slider.listData = ["a", "b", "c", "d"]
            slider.currentIndex = 1
            compare([slider.value, handleText()], [1, "b"])
            slider.currentIndex = 4 // the list's length
            compare(slider.value, 1)

            // A click on the track, however close to the handle, steps one entry towards it.
            var h = slider.handle
            var y = h.y + h.height / 2
            var clicks = [[1.5, 2], [-1.5, 1], [3, 2], [0, 2]] // handle widths from its centre, value after
            for (var c = 0; c < clicks.length; ++c) {
                mouseClick(slider, h.x + h.width / 2 + clicks[c][0] * h.width, y)
                compare(slider.value, clicks[c][1], "click " + c)
            }

            // A drag keeps the handle under the cursor; one to the end takes the last entry,
            // and the handle then follows the index again.
            var x = h.x + h.width / 2
            mousePress(slider, x, y)
            for (var d = 10; d <= 300; d += 10) {
                mouseMove(slider, x + d, y)
                if (x + d < slider.leftPadding + slider.availableWidth - h.width / 2)
                    compare(h.x + h.width / 2, x + d, "drag " + d)
            }
            compare(slider.value, 2) // sent only on release
            mouseRelease(slider, x + 300, y)
            compare([slider.value, handleText()], [3, "d"])
            slider.currentIndex = 0
            compare(slider.value, 0)
            compare(h.x, slider.leftPadding)
        }

        function test_menuCheckBoxes() {
            var view = bar.menus[1]
            mouseClick(bar.itemAt(1))
            tryCompare(view, "opened", true)

            // The debug box follows the backend, also after a click on it.
            var info = checkBoxOf(view.itemAt(3))
            compare(info.checked, false)
            mouseClick(info)
            compare([qmldata.isDebugVisible, info.checked], [true, true])
            qmldata.setDebugVisible(false)
            compare(info.checked, false)
            var log = checkBoxOf(view.itemAt(4))
            mouseClick(log)
            compare([qmldata.debugLog, log.checked], [true, true])
            qmldata.debugLog = false
            compare(log.checked, false)
            var stats = checkBoxOf(view.itemAt(5))
            mouseClick(stats)
            compare([qmldata.imageStats.visible, stats.checked], [true, true])
            qmldata.imageStats.visible = false
            compare(stats.checked, false)
        }

        // A right-button drag gives the region in fractions of the item, kept inside it; the left
        // button is left to the panning below.
        function test_regionDrawnWithTheRightButton() {
            mousePress(overlay, 40, 20, Qt.LeftButton)
            mouseMove(overlay, 240, 120, -1, Qt.LeftButton)
            mouseRelease(overlay, 240, 120, Qt.LeftButton)
            compare(regionSpy.count, 0)
            mousePress(overlay, 240, 150, Qt.RightButton)
            mouseMove(overlay, 100, 60, -1, Qt.RightButton)
            mouseMove(overlay, 40, 20, -1, Qt.RightButton)
            mouseRelease(overlay, 40, 20, Qt.RightButton)
            compare(regionSpy.count, 1)
            var r = regionSpy.signalArguments[0][0]
            compare([r.x, r.y, r.width, r.height], [0.1, 0.1, 0.5, 0.65])
            mousePress(overlay, 200, 100, Qt.RightButton)
            mouseMove(overlay, 500, 300, -1, Qt.RightButton)
            mouseRelease(overlay, 500, 300, Qt.RightButton)
            r = regionSpy.signalArguments[1][0]
            compare([r.x, r.y, r.width, r.height], [0.5, 0.5, 0.5, 0.5])
        }
    }
}
