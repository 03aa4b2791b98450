import QtQuick 2.15
import QtTest 1.15

// Update after a loss with other accessories plugged in: nothing is written into them until the
// user picks one, and the list shows every accessory present by its serial.
TestCase {
    id: testCase
    name: "SeveralAccessories"
    when: windowShown

    readonly property int imageSize: 12 * 1024
    property var win: null

    SignalSpy { id: logSpy; target: backend; signalName: "sigOutputMsg" }

    function init() {
        rig.startEngine()
        win = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        backend.qml_LangageSelectChange(1) // English
        logSpy.clear()
    }

    function cleanup() {
        tryVerify(function () { return !backend.updateRunning }, 10000)
        backend.qml_ClearPick()
        rig.unplugAll()
    }

    function child(name) { return findChild(win.contentItem, name) }

    function logged(text) {
        for (var i = 0; i < logSpy.count; ++i) {
            if (logSpy.signalArguments[i][1].indexOf(text) >= 0)
                return true
        }
        return false
    }

    function serialsListed() {
        var rows = child("accessoryRows")
        var serials = []
        for (var i = 0; i < rows.count; ++i)
            serials.push(findChild(findChild(rows, "accessoryRow" + i), "accessorySerial").text)
        return serials.sort().join(" ")
    }

    function test_lostAccessory_othersWaitForAPick() {
        var first = rig.plugIn("ACCSN0001", "X1")
        tryVerify(function () { return logged("Device connected") }, 5000)
        compare(child("deviceIdentity").visible, true, "one accessory: the identity line")
        win.openImage(rig.writeImage(imageSize))
        rig.loseAtBlock(first, 5)
        mouseClick(child("bt_Update"))
        tryCompare(child("progressText"), "text", "ACCSN0001 lost: reconnect it and update again",
                   10000)
        verify(rig.blocksReceived(first) > 0 && !rig.receivedWhole(first, imageSize))
        verify(logged("ACCSN0001: the accessory was unplugged during block "))

        var second = rig.plugIn("ACCSN0002", "X1")
        var third = rig.plugIn("ACCSN0003", "X1")
        tryVerify(function () { return serialsListed() === "ACCSN0002 ACCSN0003" }, 5000)
        compare(child("accessoryHeader").text, "To update: ACCSN0001")
        logSpy.clear()
        mouseClick(child("bt_Update"))
        verify(logged("ACCSN0001 is not connected"))
        // Five presence polls: time enough for an update to have begun writing.
        var passes = rig.passes()
        tryVerify(function () { return rig.passes() > passes + 100 }, 5000)
        verify(!rig.written(second) && !rig.written(third), "nothing written unasked")

        // Picked with the keyboard: the second row, then Space.
        win.requestActivate()
        tryVerify(function () { return win.active && win.activeFocusItem !== null })
        child("accessoryRows").forceActiveFocus()
        keyClick(Qt.Key_Down)
        keyClick(Qt.Key_Space)
        tryCompare(child("accessoryHeader"), "text", "To update: ACCSN0003")
        mouseClick(child("bt_Update"))
        tryCompare(child("progressText"), "text", "Update done: ACCSN0003", 10000)
        verify(logged("Update done: ACCSN0003"))
        verify(rig.receivedWhole(third, imageSize))
        verify(!rig.written(second))
    }

    // The only accessory present stands in for an absent one only when the user says so.
    function test_otherIsTheOnlyOne_askedFirst() {
        var first = rig.plugIn("ACCSN0001", "X1")
        tryVerify(function () { return logged("Device connected") }, 5000)
        win.openImage(rig.writeImage(imageSize))
        rig.loseAtBlock(first, 2)
        mouseClick(child("bt_Update"))
        tryVerify(function () { return logged("Device update failed") }, 10000)
        var second = rig.plugIn("ACCSN0002", "X1")
        tryVerify(function () { return serialsListed() === "ACCSN0002" }, 5000)
        mouseClick(child("bt_Update"))
        tryVerify(function () { return win.question !== null && win.question.opened })
        compare(win.question.objectName, "insteadQuestion")
        compare(findChild(win.question, "questionText").text,
                "ACCSN0001 is not connected. Update ACCSN0002 instead?")
        verify(!rig.written(second))
        mouseClick(findChild(win.question, "riskyButton"))
        tryCompare(child("progressText"), "text", "Update done: ACCSN0002", 10000)
        verify(rig.receivedWhole(second, imageSize))
    }
}
