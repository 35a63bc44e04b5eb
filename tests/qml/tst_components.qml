import QtQuick 2.12
import QtQuick.Controls 2.5
import QtTest 1.2
import "qrc:/"

// The editing rules of the window's components. The receivers below take every
// reported value, as the window does by writing it to the backend.
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
    AppMenuBar {
        id: bar
        x: 320
        width: 320
    }

    SignalSpy { id: comboSpy; target: combo; signalName: "newtIndexChanged" }
    SignalSpy { id: toggleSpy; target: toggle; signalName: "switchChanged" }

    TestCase {
        name: "components"
        when: windowShown

        function choose(index) {
            var box = combo.children[1]
            mouseClick(box)
            tryCompare(box.popup, "opened", true)
            var entry = box.popup.contentItem.itemAtIndex(index)
            verify(entry)
            mouseClick(entry)
            tryCompare(box.popup, "visible", false)
        }

        function test_comboBoxReportsOnlyUserChoices() {
            var box = combo.children[1]
            combo.currentIndex = 2 // pushed from outside
            compare(box.currentIndex, 2)
            box.forceActiveFocus()
            keyClick(Qt.Key_Up) // keys on the closed box are undone
            compare(box.currentIndex, 2)
            compare(comboSpy.count, 0)
            choose(0)
            compare(comboSpy.count, 1)
            compare(comboSpy.signalArguments[0][0], 0)
            compare(box.currentIndex, 0)
            choose(0) // the current entry again
            compare(comboSpy.count, 1)
        }

        function test_switchTogglesOncePerSecond() {
            toggle.checked = true // pushed from outside
            compare(toggleSpy.count, 0)
            var control = toggle.children[1]
            mouseClick(control)
            wait(50) // a quick second click, but not in the same millisecond
            mouseClick(control)
            compare(toggleSpy.count, 1)
            compare(toggle.checked, false)
            wait(1100)
            mouseClick(control)
            compare(toggleSpy.count, 2)
            compare(toggle.checked, true)
        }

        function handleText() {
            var kids = slider.handle.children
            for (var i = 0; i < kids.length; ++i) {
                if (kids[i].text !== undefined)
                    return kids[i].text
            }
            return undefined
        }

        function test_sliderIndexRules() {
            slider.listData = []
            compare([slider.from, slider.to, handleText()], [0, 1, ""])
            slider.listData = ["a", "b", "c", "d"]
            slider.currentIndex = 1
            compare([slider.value, handleText()], [1, "b"])
            slider.currentIndex = 4 // the list's length
            compare(slider.value, 1)

            // A drag released where it started changes nothing.
            var h = slider.handle
            var x = h.x + h.width / 2, y = h.y + h.height / 2
            mousePress(slider, x, y)
            for (var d = 10; d <= 60; d += 10)
                mouseMove(slider, x + d, y)
            mouseMove(slider, x, y)
            mouseRelease(slider, x, y)
            compare(slider.value, 1)

            // A drag to the end takes the last entry; the handle then follows
            // the index again.
            mousePress(slider, x, y)
            for (d = 10; d <= 300; d += 10)
                mouseMove(slider, x + d, y)
            mouseRelease(slider, x + 300, y)
            compare([slider.value, handleText()], [3, "d"])
            slider.currentIndex = 0
            compare(slider.value, 0)
            compare(h.x, slider.leftPadding)
        }

        function checkBoxOf(entry) {
            for (var i = 0; i < entry.children.length; ++i) {
                if (String(entry.children[i]).indexOf("CheckBox") === 0)
                    return entry.children[i]
            }
            return null
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

            // The zoom pair: both always checked, the current mode's shown.
            mouseClick(view.itemAt(2))
            var modes = view.menuAt(2)
            tryCompare(modes, "opened", true)
            var zoom = checkBoxOf(modes.itemAt(0)), pixel = checkBoxOf(modes.itemAt(1))
            compare([zoom.visible, pixel.visible], [true, false])
            qmldata.displayZoom = false
            compare([zoom.visible, pixel.visible, pixel.checked], [false, true, true])
            mouseClick(pixel)
            compare([pixel.checked, qmldata.displayZoom], [true, false])
        }
    }
}
