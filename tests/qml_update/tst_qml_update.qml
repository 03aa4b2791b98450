import QtQuick 2.15
import QtTest 1.15

// Real updates from the main window to simulated accessories: what the window guards while the
// engine writes, the question before a catalogue firmware goes to another device, and, with
// several accessories, that Update writes nothing after a loss until the user picks one.
TestCase {
    id: testCase
    name: "UpdateFromTheWindow"
    when: windowShown

    // 24 blocks, each acknowledged 15 ms late: long enough to act while it runs.
    readonly property int imageSize: 24 * 1024
    property var win: null

    SignalSpy { id: logSpy; target: backend; signalName: "sigOutputMsg" }

    function init() {
        fixture.clearTemp()
        backend.slot_ReceiveDeviceID("*")
        rig.startEngine()
        win = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        logSpy.clear()
    }

    function cleanup() {
        // Let a running update end before the next test plugs in another device.
        tryVerify(function () { return !backend.updateRunning }, 10000)
        backend.qml_ClearPick()
        backend.qml_LangageSelectChange(0)
        rig.unplug()
    }

    function child(name) { return findChild(win.contentItem, name) }

    function logged(text) {
        for (var i = 0; i < logSpy.count; ++i) {
            if (logSpy.signalArguments[i][1].indexOf(text) >= 0)
                return true
        }
        return false
    }

    function plugIn(identity) {
        rig.plugIn(identity, 15)
        tryVerify(function () { return backend.qmlGetDeviceID() === identity }, 5000,
                  "the device has named itself")
        // The identity comes a poll before the connection report, and the engine takes an
        // Update only once the connection is reported.
        tryVerify(function () { return logged("连接设备成功") }, 5000, "the device is connected")
    }

    // Update pressed in the window; waits until the engine writes.
    function startUpdate() {
        mouseClick(child("bt_Update"))
        if (!rig.engineReportsUpdateState) {
            // Until the engine reports it, the test stands in for its "running" report, once
            // the first block has gone.
            tryVerify(function () { return child("update_Prog").value > 0 }, 5000)
            backend.slot_UpdateState(true)
        }
        tryVerify(function () { return backend.updateRunning }, 5000, "the update runs")
    }

    function waitForTheEnd() {
        tryVerify(function () { return logged("更新设备成功") }, 10000, "the update ends")
        if (!rig.engineReportsUpdateState)
            backend.slot_UpdateState(false)
        tryVerify(function () { return !backend.updateRunning })
    }

    function answer(risky) {
        tryVerify(function () { return win.question !== null && win.question.opened })
        mouseClick(findChild(win.question, risky ? "riskyButton" : "safeButton"))
        tryCompare(win, "question", null)
    }

    // Unplugged while it writes: the bar says the accessory was lost, in red, until a new image.
    function test_unpluggedMidUpdate_barSaysTheAccessoryWasLost() {
        plugIn("SIM-V20")
        win.openImage(rig.writeImage(imageSize))
        startUpdate()
        rig.unplug()
        tryCompare(child("progressText"), "text", "升级失败：设备已断开，请重新连接设备后再次升级", 10000)
        compare(child("item_Prog").outcome, 2)
        win.openImage(rig.writeImage(imageSize))
        compare(child("progressText").text, "")
        compare(child("item_Prog").outcome, 0)
    }

    function test_guard_keepUpdatingFinishesTheUpdate() {
        plugIn("SIM-V20")
        win.openImage(rig.writeImage(imageSize))
        startUpdate()
        var controls = ["bt_OpenFile", "bt_Update", "comb_Language"]
        for (var i = 0; i < controls.length; ++i)
            verify(!child(controls[i]).enabled, controls[i] + " waits")
        win.close()
        verify(win.visible)
        compare(win.question.objectName, "closeQuestion")
        answer(false)
        waitForTheEnd()
        verify(win.visible)
        compare(rig.received(imageSize), rig.image(imageSize))
        for (i = 0; i < controls.length; ++i)
            verify(child(controls[i]).enabled, controls[i] + " is back")
        // The bar tells the outcome, in the current language, until the next image is opened.
        compare(child("progressText").text, "升级完成，可以拔下设备")
    }

    // Closes as the window always closed: the engine is stopped first. The next test starts it.
    function test_guard_closeAnywayCloses() {
        plugIn("SIM-V20")
        win.openImage(rig.writeImage(imageSize))
        startUpdate()
        win.close()
        answer(true)
        verify(!win.visible)
        if (!rig.engineReportsUpdateState)
            backend.slot_UpdateState(false)
    }

    function test_catalogueFirmware_data() {
        return [
            { tag: "for another device", device: "R9", asks: true },
            { tag: "for this device", device: "X1", asks: false },
        ]
    }

    // Record X1 of the sample catalogue, downloaded and unpacked as the dialog's Open does it.
    function test_catalogueFirmware(data) {
        fixture.storeCatalogue(false)
        fixture.serveArchive("X1", rig.image(imageSize))
        backend.qml_LoadJsonFile()
        plugIn(data.device)
        backend.qml_OpenNetFile(0)
        verify(logged("打开文件成功 X1.bin"))
        logSpy.clear()
        mouseClick(child("bt_Update"))
        if (data.asks) {
            compare(logSpy.count, 1)
            compare(logSpy.signalArguments[0][0], "red")
            verify(logged("选择的固件与设备不匹配"))
            compare(win.question.objectName, "mismatchQuestion")
            answer(false)
            // Nothing reaches the device: no block, not even the start of an update.
            compare(rig.received(imageSize), "")
            compare(child("update_Prog").value, 0)
            return
        }
        compare(win.question, null)
        if (!rig.engineReportsUpdateState) {
            tryVerify(function () { return child("update_Prog").value > 0 }, 5000)
            backend.slot_UpdateState(true)
        }
        waitForTheEnd()
        compare(rig.received(imageSize), rig.image(imageSize))
    }

    function serialsListed() {
        var rows = child("accessoryRows")
        var serials = []
        for (var i = 0; i < rows.count; ++i)
            serials.push(findChild(findChild(rows, "accessoryRow" + i), "accessorySerial").text)
        return serials.sort().join(" ")
    }

    // Lost mid-update, two others plugged in: nothing goes into them until the user picks one, and
    // the list names every accessory present by its serial. (These tests read the English texts.)
    function test_lostAccessory_othersWaitForAPick() {
        backend.qml_LangageSelectChange(1)
        var first = rig.plugInAnother("ACCSN0001", "X1")
        tryVerify(function () { return logged("Device connected") }, 5000)
        compare(child("deviceIdentity").visible, true, "one accessory: the identity line")
        win.openImage(rig.writeImage(imageSize))
        rig.loseAtBlock(first, 5)
        mouseClick(child("bt_Update"))
        tryCompare(child("progressText"), "text", "ACCSN0001 lost: reconnect it and update again",
                   10000)
        verify(rig.blocksReceived(first) > 0 && !rig.receivedWhole(first, imageSize))
        verify(logged("ACCSN0001: the accessory was unplugged during block "))

        var second = rig.plugInAnother("ACCSN0002", "X1")
        var third = rig.plugInAnother("ACCSN0003", "X1")
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
        backend.qml_LangageSelectChange(1)
        var first = rig.plugInAnother("ACCSN0001", "X1")
        tryVerify(function () { return logged("Device connected") }, 5000)
        win.openImage(rig.writeImage(imageSize))
        rig.loseAtBlock(first, 2)
        mouseClick(child("bt_Update"))
        tryVerify(function () { return logged("Device update failed") }, 10000)
        var second = rig.plugInAnother("ACCSN0002", "X1")
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
