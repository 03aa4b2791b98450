import QtQuick 2.15
import QtTest 1.15

// Every text of every language in the shipped Config.xml, shown in the item that really shows
// it: the main window with its network button, its questions and its progress line, the
// selection dialog at its smallest and the download popup. A text wider than its room must
// either wrap, or be elided with the whole text in a tooltip; and no text may stand outside the
// window or the clipping frame that holds it. A new translation that does not fit fails here.
TestCase {
    id: testCase
    name: "TextsFitTheirRoom"
    when: windowShown

    property var win: null
    property var drawn: ({})

    // Notes the window once a frame of it is on screen; grabbing it earlier is not safe.
    function watchFirstFrame(window, name) {
        window.frameSwapped.connect(function () { testCase.drawn[name] = true })
    }

    function initTestCase() {
        fixture.clearTemp()
        fixture.storeCatalogue(false)
        fixture.forceNetworkButton(true)
        win = Qt.createComponent("qrc:/main.qml").createObject(testCase, { "visible": false })
        watchFirstFrame(win, "main")
        win.visible = true
        fixture.announceLanguages()
        backend.qml_LoadJsonFile()
        var dialog = win.ensureDialog()
        watchFirstFrame(dialog, "dialog")
        dialog.width = dialog.minimumWidth
        dialog.height = dialog.minimumHeight
        dialog.visible = true
        var popup = win.ensurePopup()
        watchFirstFrame(popup, "popup")
        popup.progressValue = 100
        popup.visible = true
        backend.slot_ReceiveDeviceID("Q7PRO-V20-HW3")
        backend.slot_UpdateState(true)
        backend.slot_mainTaskChangeProgressValue(50)
        backend.slot_mainTaskChangeProgressValue(99)
        tryCompare(dialog.contentItem, "width", dialog.minimumWidth)
        tryVerify(function () { return drawn.main && drawn.dialog && drawn.popup }, 5000,
                  "every window is on screen")
    }

    function cleanupTestCase() {
        win.netFileDialog.visible = false
        win.gidDownloadProgress.visible = false
        win.destroy()
        backend.slot_UpdateState(false)
        backend.qml_LangageSelectChange(0)
        fixture.forceNetworkButton(false)
    }

    function isText(item) {
        return item.text !== undefined && typeof item.contentWidth === "number"
                && typeof item.elide === "number" && typeof item.truncated === "boolean"
    }

    // The horizontal span the text's glyphs take, in the item's own coordinates.
    function textSpan(item) {
        var used = Math.min(item.contentWidth, item.width)
        if (item.horizontalAlignment === Text.AlignHCenter)
            return [(item.width - used) / 2, (item.width + used) / 2]
        if (item.horizontalAlignment === Text.AlignRight)
            return [item.width - used, item.width]
        return [0, used]
    }

    function check(item, frame, problems, where) {
        if (!item.visible || item.opacity === 0)
            return
        var room = item.clip ? item : frame
        if (isText(item) && item.text !== "" && item.width > 0) {
            var label = where + " '" + item.text + "'"
            var wraps = item.wrapMode !== Text.NoWrap
            if (item.contentWidth > item.width + 0.5 && !wraps && item.elide === Text.ElideNone)
                problems.push(label + ": " + item.contentWidth.toFixed(1) + " px in "
                              + item.width.toFixed(1))
            if (item.truncated && item.elide !== Text.ElideNone && item.toolTipText !== item.text)
                problems.push(label + ": elided without the whole text in a tooltip")
            var span = textSpan(item)
            var left = item.mapToItem(room, span[0], 0).x
            var right = item.mapToItem(room, span[1], 0).x
            if (left < -0.5 || right > room.width + 0.5)
                problems.push(label + ": outside its frame (" + left.toFixed(1) + " to "
                              + right.toFixed(1) + " of " + room.width + ")")
        }
        var children = item.children
        for (var i = 0; i < children.length; ++i)
            check(children[i], room, problems, where)
    }

    function checkWindow(window, where, problems) {
        check(window.contentItem, window.contentItem, problems, where)
        // Popups (questions, the language list) live in the window's overlay.
        var overlay = window.contentItem.parent
        for (var i = 0; i < overlay.children.length; ++i) {
            if (overlay.children[i] !== window.contentItem)
                check(overlay.children[i], window.contentItem, problems, where + " overlay")
        }
    }

    function test_everyLanguage_data() {
        var box = findChild(win.contentItem, "comb_Language")
        verify(box.count >= 5, "the shipped languages are offered")
        var rows = []
        for (var i = 0; i < box.count; ++i)
            rows.push({ tag: box.textAt(i), language: i })
        return rows
    }

    function test_everyLanguage(data) {
        backend.qml_LangageSelectChange(data.language)
        // The dialog before a firmware is chosen, and the popup with its line about the firmware.
        backend.qml_TreeViewSelectDevice(false, 0)
        waitForRendering(win.netFileDialog.contentItem)
        grabImage(win.netFileDialog.contentItem).save(screenshotDir + "/dialog-hint-lang"
                                                      + data.language + ".png")
        var popup = win.gidDownloadProgress
        findChild(popup, "fetchedText").text = backend.uiTexts.downloading.arg("Q7PRO \u00b7 2.0")
        popup.progressValue = 42
        popup.visible = true
        waitForRendering(popup.contentItem)
        grabImage(popup.contentItem).save(screenshotDir + "/popup-lang" + data.language + ".png")
        backend.qml_TreeViewSelectDevice(true, 7)
        // What the user sees, for a look by eye (make screenshot).
        grabImage(win.contentItem).save(screenshotDir + "/main-lang" + data.language + ".png")
        grabImage(win.netFileDialog.contentItem).save(screenshotDir + "/dialog-lang" + data.language
                                                      + ".png")
        var box = findChild(win.contentItem, "comb_Language")
        box.popup.open()
        win.ask("fitQuestion", backend.uiTexts.updateRunningQuestion, backend.uiTexts.keepUpdating,
                backend.uiTexts.closeAnyway, function () {})
        var closeQuestion = win.question
        tryVerify(function () { return closeQuestion.opened && box.popup.opened })
        var problems = []
        checkWindow(win, "main window", problems)
        closeQuestion.close()
        win.ask("fitQuestion", backend.uiTexts.updateRunningQuestion, backend.uiTexts.doNotUpdate,
                backend.uiTexts.updateAnyway, function () {})
        var mismatch = win.question
        tryVerify(function () { return mismatch.opened })
        grabImage(win.contentItem).save(screenshotDir + "/question-lang" + data.language + ".png")
        checkWindow(win, "mismatch question", problems)
        mismatch.close()
        box.popup.close()
        checkWindow(win.netFileDialog, "selection dialog", problems)
        checkWindow(win.gidDownloadProgress, "download popup", problems)
        checkOutcomes(data.language, problems)
        verify(problems.length === 0, "\n" + problems.join("\n"))
    }

    // The bar's three endings (engine messages: 5 the device went away, 8 failed, 9 done), with
    // the dialog and the popup put away as after a real update; then the update runs again.
    function checkOutcomes(language, problems) {
        // The popup first: a window whose transient parent is hidden keeps its own state.
        win.gidDownloadProgress.visible = false
        win.netFileDialog.visible = false
        var endings = [{ name: "done", messages: [9] }, { name: "failed", messages: [8] },
                       { name: "lost", messages: [5, 8] }]
        for (var i = 0; i < endings.length; ++i) {
            var messages = endings[i].messages
            if (messages.length > 1)
                backend.slot_MainTastOutputMsg(messages[0])
            backend.slot_UpdateState(false)
            backend.slot_MainTastOutputMsg(messages[messages.length - 1])
            waitForRendering(win.contentItem)
            grabImage(win.contentItem).save(screenshotDir + "/main-" + endings[i].name + "-lang"
                                            + language + ".png")
            checkWindow(win, "outcome " + endings[i].name, problems)
            // Nobody hovers over the bar for a tooltip: what to do must show whole.
            var bar = findChild(win.contentItem, "progressText")
            if (bar.truncated)
                problems.push("outcome " + endings[i].name + " '" + bar.text + "': cut short")
            backend.slot_UpdateState(true)
            backend.slot_mainTaskChangeProgressValue(99)
        }
        win.netFileDialog.visible = true
        win.gidDownloadProgress.visible = true
    }

    // The check itself: a plain text too wide for its room is caught, an elided one is not.
    function test_theCheckCatchesAnOverflow_data() {
        return [
            { tag: "neither elides nor wraps", elide: Text.ElideNone, wrap: Text.NoWrap, bad: true },
            { tag: "wraps", elide: Text.ElideNone, wrap: Text.WordWrap, bad: false },
        ]
    }

    function test_theCheckCatchesAnOverflow(data) {
        var text = createTemporaryQmlObject("import QtQuick 2.15; Text { width: 40; text: "
                                            + "'Aktualisierungsverlauf' }", win.contentItem)
        text.elide = data.elide
        text.wrapMode = data.wrap
        var problems = []
        check(text, win.contentItem, problems, "probe")
        compare(problems.length > 0, data.bad, problems.join("; "))
    }
}
