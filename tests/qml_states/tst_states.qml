import QtQuick 2.15
import QtTest 1.15

// The main window's states around an update, with the real controller behind it: the network
// button's switches, the guard while writing, the questions, the progress and identity lines and
// the language of Qt's own texts.
TestCase {
    id: testCase
    name: "MainWindowStates"
    when: windowShown

    property var window: null

    SignalSpy { id: languageSpy; target: backend; signalName: "siglangageChange" }
    SignalSpy { id: startSpy; target: backend; signalName: "sig_StartUpdate" }
    SignalSpy { id: pathSpy; target: backend; signalName: "sig_SetFilePath" }
    SignalSpy { id: logSpy; target: backend; signalName: "sigOutputMsg" }

    function child(name) {
        var item = findChild(window.contentItem, name)
        if (!item)
            item = findChild(window, name)
        verify(item !== null, "no item " + name)
        return item
    }

    function init() {
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = createTemporaryObject(component, testCase)
        verify(window !== null)
        tryCompare(window, "visible", true)
        languageSpy.clear()
        startSpy.clear()
        pathSpy.clear()
        logSpy.clear()
    }

    function cleanup() {
        backend.qml_LangageSelectChange(0)
        backend.slot_UpdateState(false)
        if (window.question)
            window.question.close()
        if (window.fileDialog)
            window.fileDialog.close()
        window.visible = false
        window = null
    }

    function question(name) {
        window.requestActivate()
        tryVerify(function () { return window.active && window.activeFocusItem !== null })
        tryVerify(function () { return window.question !== null && window.question.opened },
                  2000, "a question is shown")
        compare(window.question.objectName, name)
        return window.question
    }

    function test_networkButton_data() {
        return [
            { tag: "no switch", file: false, option: false, shown: false },
            { tag: "Config.xml", file: true, option: false, shown: true },
            { tag: "--network-firmware", file: false, option: true, shown: true },
            { tag: "both", file: true, option: true, shown: true },
        ]
    }

    // Shown, the top row keeps to the log's width (x 200 to 562) without overlap.
    function test_networkButton(data) {
        switches.useBackend(data.file, data.option)
        var win = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        var names = ["img_ConnectStatus", "bt_netFile", "bt_OpenFile", "bt_Update"]
        var right = 200
        compare(findChild(win.contentItem, "bt_netFile").visible, data.shown)
        for (var i = 0; i < names.length; ++i) {
            var item = findChild(win.contentItem, names[i])
            if (!item.visible)
                continue
            var p = item.mapToItem(win.contentItem, 0, 0)
            verify(p.x >= right, names[i] + " starts at " + p.x + ", before " + right)
            right = p.x + item.width
            compare(p.y, 23)
        }
        verify(right <= 563, "the row ends at " + right) // where the layout ends Update
        if (!data.shown)
            compare(findChild(win.contentItem, "bt_OpenFile").mapToItem(win.contentItem, 0, 0).x, 339)
        else if (data.file && data.option) {
            waitForRendering(win.contentItem) // a new window: grab it once it is on screen
            grabImage(win.contentItem).save(screenshotDir + "/main-network.png")
        }
        win.destroy()
        switches.restoreBackend()
    }

    function test_guard_controlsWaitWhileAnUpdateRuns() {
        var controls = ["bt_OpenFile", "bt_Update", "bt_netFile", "comb_Language"]
        backend.slot_UpdateState(true)
        for (var i = 0; i < controls.length; ++i)
            verify(!child(controls[i]).enabled, controls[i] + " waits")
        verify(child("bt_help").enabled && child("bt_exit").enabled)
        window.requestActivate()
        tryVerify(function () { return window.active && window.activeFocusItem !== null })
        keyClick(Qt.Key_O, Qt.ControlModifier)
        verify(!window.fileDialog || !window.fileDialog.visible, "Ctrl+O waits too")
        compare(dropper.drop(window, 300, 150, ["file:///tmp/fw/a.bin"]), false)
        compare(pathSpy.count, 0)
        backend.slot_UpdateState(false)
        for (i = 0; i < controls.length; ++i)
            verify(child(controls[i]).enabled, controls[i] + " is back")
    }

    function test_guard_closing_data() {
        return [
            { tag: "keep updating", answer: "safe", closes: false },
            { tag: "Esc keeps updating", answer: "escape", closes: false },
            { tag: "close anyway", answer: "risky", closes: true },
        ]
    }

    function test_guard_closing(data) {
        backend.qml_LangageSelectChange(1)
        backend.slot_UpdateState(true)
        window.close()
        verify(window.visible, "not closed before the answer")
        var q = question("closeQuestion")
        compare(q.text, "An update is running. Closing now leaves the device unusable until it "
                + "is updated again.")
        compare(findChild(q, "safeButton").text, "Keep updating")
        compare(findChild(q, "riskyButton").text, "Close anyway")
        tryVerify(function () { return findChild(q, "safeButton").activeFocus },
                  2000, "the safe answer is the default")
        if (data.answer === "safe")
            keyClick(Qt.Key_Return)
        else if (data.answer === "escape")
            keyClick(Qt.Key_Escape)
        else
            mouseClick(findChild(q, "riskyButton"))
        tryCompare(window, "question", null)
        compare(window.visible, !data.closes)
        backend.qml_LangageSelectChange(0)
    }

    function test_guard_exitAsksAndTheEndOfTheUpdateWithdrawsTheQuestion() {
        backend.slot_UpdateState(true)
        mouseClick(child("bt_exit"))
        question("closeQuestion")
        backend.slot_UpdateState(false)
        tryCompare(window, "question", null)
        verify(window.visible)
    }

    function test_guard_systemShutdownStillCloses() {
        backend.slot_UpdateState(true)
        backend.endSession()
        window.close()
        compare(window.question, null)
        verify(!window.visible)
    }

    function test_mismatchQuestion_data() {
        return [
            { tag: "default does not update", key: Qt.Key_Return, starts: 0 },
            { tag: "Esc does not update", key: Qt.Key_Escape, starts: 0 },
            { tag: "update anyway", key: -1, starts: 1 },
        ]
    }

    function test_mismatchQuestion(data) {
        backend.sigMismatchQuestion("For X0, device is R9. Update?")
        var q = question("mismatchQuestion")
        compare(q.text, "For X0, device is R9. Update?")
        compare(findChild(q, "safeButton").text, "不升级")
        compare(findChild(q, "riskyButton").text, "仍然升级")
        tryVerify(function () { return findChild(q, "safeButton").activeFocus })
        if (data.key === -1)
            mouseClick(findChild(q, "riskyButton"))
        else
            keyClick(data.key)
        tryCompare(window, "question", null)
        compare(startSpy.count, data.starts)
    }

    function test_progressLine_data() {
        return [
            { tag: "0", reports: [], text: "0 %" },
            { tag: "middle", reports: [20, 40], time: true },
            { tag: "100", reports: [50, 100], time: true },
        ]
    }

    // On the bar, which stays where the layout puts it.
    function test_progressLine(data) {
        var line = child("progressText")
        compare(line.text, "")
        backend.slot_UpdateState(true)
        for (var i = 0; i < data.reports.length; ++i)
            backend.slot_mainTaskChangeProgressValue(data.reports[i])
        var last = data.reports.length ? data.reports[data.reports.length - 1] : 0
        verify(line.text.indexOf(last + " %") === 0, line.text)
        compare(line.text.indexOf("剩余 ") > 0, data.time === true)
        compare(line.text, backend.progressText)
        // The white copy shows exactly over the fill.
        compare(child("progressTextOnFill").width, child("update_Prog_fill").width)
        var bar = child("item_Prog").mapToItem(window.contentItem, 0, 0)
        compare([bar.x, bar.y], [200, 272])
        backend.slot_UpdateState(false)
        compare(line.text, "")
    }

    // Engine messages: 5 the device went away, 8 update failed, 9 update done.
    function test_progressLine_outcome_data() {
        return [
            { tag: "done", reached: 100, messages: [9], colour: "#008000",
              zh: "升级完成，可以拔下设备", en: "Update done: you may unplug the accessory" },
            { tag: "failed", reached: 40, messages: [8], colour: "#c62828",
              zh: "升级失败：请重新连接设备后再次升级",
              en: "Update failed: reconnect the accessory and update again" },
            { tag: "device lost", reached: 40, messages: [5, 8], colour: "#c62828",
              zh: "升级失败：设备已断开，请重新连接设备后再次升级",
              en: "Accessory lost: reconnect it and update again" },
        ]
    }

    // The bar ends full with the outcome, in the language of the moment, until a new image
    // empties it: a new update must not look finished before it starts.
    function test_progressLine_outcome(data) {
        var line = child("progressText")
        var fill = child("update_Prog_fill")
        backend.slot_UpdateState(true)
        backend.slot_mainTaskChangeProgressValue(data.reached)
        if (data.messages.length > 1)
            backend.slot_MainTastOutputMsg(data.messages[0])
        // The engine reports the state change just before its closing message.
        backend.slot_UpdateState(false)
        backend.slot_MainTastOutputMsg(data.messages[data.messages.length - 1])
        compare(line.text, data.zh)
        compare(String(fill.color), data.colour)
        compare(fill.width, child("update_Prog").width)
        backend.qml_LangageSelectChange(1)
        compare(line.text, data.en)
        backend.qml_LangageSelectChange(0)
        backend.openFirwareFile("file:///tmp/fw/next.bin")
        compare(line.text, "")
        compare(child("update_Prog").value, 0)
        compare(fill.width, 0)
        compare(child("item_Prog").outcome, 0)
    }

    function test_deviceIdentityLine() {
        var line = child("deviceIdentity")
        backend.slot_ReceiveDeviceID("TX-9")
        compare(line.text, "设备：TX-9")
        backend.qml_LangageSelectChange(2)
        compare(line.text, "Gerät: TX-9")
        backend.qml_LangageSelectChange(0)
        backend.slot_ReceiveDeviceID("*")
        compare(line.text, "")
        var log = child("item_TextOut").mapToItem(window.contentItem, 0, 0)
        verify(line.mapToItem(window.contentItem, 0, line.height).y <= log.y)
    }

    function test_qtOwnTextsFollowTheLanguage_data() {
        return [
            { tag: "中文", language: 0, cancel: "取消" },
            { tag: "English", language: 1, cancel: "Cancel" },
            { tag: "Deutsch", language: 2, cancel: "Abbrechen" },
            { tag: "Français", language: 3, cancel: "Annuler" },
            { tag: "Español", language: 4, cancel: "Cancelar" },
        ]
    }

    function test_qtOwnTextsFollowTheLanguage(data) {
        backend.qml_LangageSelectChange(data.language)
        compare(qsTranslate("QPlatformTheme", "Cancel"), data.cancel)
        backend.qml_LangageSelectChange(0)
    }
}
