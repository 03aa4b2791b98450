import QtQuick 2.15
import QtTest 1.15
import TreeViewModel 1.0
import "qrc:/"

// The selection dialog driven through the real controller and tree model. The sample catalogue
// (see QmlFixture) shown whole and fully expanded reads:
//   发射器 / Q7 系列 / X1(0), HW2 / X2(1), Q7PRO(7);  发射器 / Q8 系列 / X3(2), X4(5)
//   接收器 / R5 系列 / R1(3), HW3 / R2(4), R3(6)
TestCase {
    id: testCase
    name: "DeviceSelectDialog"
    when: windowShown

    property var dialog: null
    property var openProgressLog: []

    Component {
        id: dialogComponent

        Qml_DeviceSelect {
            width: 700
            height: 500
            // Stands in for the main window's function; records what the controller had said
            // by then, so the order against the download can be checked.
            function openProgress() {
                testCase.openProgressLog.push(progressSpy.count)
            }
        }
    }

    SignalSpy { id: progressSpy; target: backend; signalName: "sigProgressCtrl" }
    SignalSpy { id: outputSpy; target: backend; signalName: "sigOutputMsg" }
    SignalSpy { id: detailSpy; target: backend; signalName: "sigSetDetailMsg" }

    function init() {
        fixture.storeCatalogue(false)
        backend.qml_LangageSelectChange(0)
        backend.qml_LoadJsonFile()
        compare(myModel.rowCount(), 2, "sample catalogue loaded")
        openProgressLog = []
        dialog = createTemporaryObject(dialogComponent, testCase)
        dialog.visible = true
        progressSpy.clear()
        outputSpy.clear()
        detailSpy.clear()
    }

    function part(name) {
        var item = findChild(dialog, name)
        verify(item !== null, "dialog has " + name)
        return item
    }

    function tree() { return part("gidTreeView") }

    // A firmware row reads "X1 · 1.2 · 2024-12-05": the device identity is what the tests name.
    function rowName(index) {
        var label = myModel.data(index, TreeViewModel.NAME)
        return label === undefined ? label : String(label).split(" \u00b7 ")[0]
    }

    // The first visible row, scanning top-down, whose name is `name`; -1 when none shows it.
    function rowY(name) {
        var view = tree()
        for (var y = 1; y < view.height; y += 2) {
            var index = view.indexAt(150, y)
            if (index.valid && rowName(index) === name)
                return y
        }
        return -1
    }

    // Rows appear once the view has laid them out after a reset or an expansion.
    function verifyShown(name) {
        tryVerify(function () { return rowY(name) >= 0 }, 2000, name + " is shown")
    }

    function clickRow(name) {
        verifyShown(name)
        var y = rowY(name)
        mouseClick(tree(), 150, y)
    }

    function topIndex(name) {
        for (var r = 0; r < myModel.rowCount(); ++r) {
            var index = myModel.index(r, 0)
            if (rowName(index) === name)
                return index
        }
        return null
    }

    function test_initialState() {
        compare(dialog.selectFileNumber, -1)
        compare(dialog.detailMsgUrl, "")
        compare(dialog.searchInputText, "")
        compare(part("gidBtnOpenFireware").enabled, false)
        compare(part("gidBtnDetailChangeList").enabled, false)
        // No firmware chosen, no details: the hint alone.
        compare(part("gidTextHint").visible, true)
        compare(part("gidTextHint").text, "请选择一个固件以查看其详情")
        compare(part("gidTextMsg_DescriptionChild").text, "")
        compare(part("gidTextMsg_upeateContentchild").text, "")
        compare(dialog.modality, Qt.NonModal) // the main window shuts its controls instead
    }

    // Made while another language is current, the dialog shows it from its first frame.
    function test_firstFrameInTheCurrentLanguage_data() {
        return [
            { tag: "English", language: 1, title: "Tarvo Firmware Updater", open: "Open",
              cancel: "Cancel", history: "Change history", search: "Search: ",
              selected: "Selected firmware: ", hint: "Choose a firmware to see its details" },
            { tag: "Deutsch", language: 2, title: "Tarvo Firmware-Aktualisierung", open: "Öffnen",
              cancel: "Abbrechen", history: "Änderungsverlauf", search: "Suche: ",
              selected: "Gewählte Firmware: ",
              hint: "Wählen Sie eine Firmware, um ihre Details zu sehen" },
        ]
    }

    function test_firstFrameInTheCurrentLanguage(data) {
        backend.qml_LangageSelectChange(data.language)
        var fresh = createTemporaryObject(dialogComponent, testCase)
        function text(name) { return findChild(fresh, name).text }
        compare(fresh.title, data.title)
        compare(text("gidBtnOpenFireware"), data.open)
        compare(text("gidBtnCancel"), data.cancel)
        compare(text("gidBtnDetailChangeList"), data.history)
        compare(text("gidTextSearch"), data.search)
        compare(text("gidTextCurSelectDevice"), data.selected)
        compare(text("gidTextHint"), data.hint)
        backend.qml_LangageSelectChange(0)
        compare(text("gidBtnCancel"), "取消")
    }

    function test_selectCategoryDisablesButtonsAndClearsDetails() {
        dialog.treeViewExpandAll()
        clickRow("X1")
        compare(part("gidBtnOpenFireware").enabled, true)
        detailSpy.clear()

        clickRow("Q7 系列")
        compare(dialog.selectFileNumber, -1)
        compare(part("gidBtnOpenFireware").enabled, false)
        compare(part("gidBtnDetailChangeList").enabled, false)
        // The controller's answer to (false, 0): the bare label and the hint instead of details.
        compare(detailSpy.count, 1)
        compare(part("gidTextCurSelectDevice").text, "选中的固件:")
        compare(part("gidTextMsg_Description").text, "")
        compare(part("gidTextHint").visible, true)
        compare(part("gidTextMsg_DescriptionChild").text, "")
        compare(part("gidTextMsg_upeateContentchild").text, "")
        compare(part("gidTextMsg_RemarkChild").text, "")
        compare(dialog.detailMsgUrl, "")
    }

    function test_selectLeafShowsDetailsAndOpenDownloads() {
        dialog.treeViewExpandAll()
        clickRow("Q7PRO")
        compare(dialog.selectFileNumber, 7)
        compare(part("gidBtnOpenFireware").enabled, true)
        compare(part("gidBtnDetailChangeList").enabled, true)
        // The fixture's catalogue gives no digests: the record is marked unverified.
        compare(part("gidTextCurSelectDevice").text, "选中的固件:Q7PRO 版本号：2.0 （未验证）")
        compare(part("gidTextMsg_DescriptionChild").text, "版本号：2.0 发布时间：2024-12-05")
        compare(part("gidTextMsg_upeateContent").text, "更新内容:")
        compare(part("gidTextMsg_Remark").text, "注意事项:")
        compare(part("gidTextMsg_RemarkChild").text, "升级过程中请勿断开设备。")
        verify(dialog.detailMsgUrl.endsWith("/server/Q7PRO.html"), dialog.detailMsgUrl)

        // Open shows the popup first, then downloads record 7: its archive is missing here, so
        // the download ends with the network error and the closing report.
        mouseClick(part("gidBtnOpenFireware"))
        compare(openProgressLog, [0])
        tryCompare(progressSpy, "count", 1)
        compare(progressSpy.signalArguments[0][1], true)
        verify(outputSpy.count >= 1)
        verify(outputSpy.signalArguments[outputSpy.count - 1][1].indexOf("网络错误") >= 0)
        verify(dialog.visible, "the main window closes the dialog, not Open")
    }

    function test_openWithoutSelectionDoesNothing() {
        part("gidBtnOpenFireware").clicked()
        compare(openProgressLog, [])
        compare(progressSpy.count, 0)
    }

    function test_doubleClickTogglesCategory() {
        var receivers = topIndex("接收器")
        verify(receivers !== null)
        verifyShown("接收器")
        verify(!tree().isExpanded(receivers))
        mouseDoubleClickSequence(tree(), 150, rowY("接收器"))
        verify(tree().isExpanded(receivers))
        mouseDoubleClickSequence(tree(), 150, rowY("接收器"))
        verify(!tree().isExpanded(receivers))
    }

    // A double click on a firmware opens it as Open does, and folds nothing.
    function test_doubleClickOnLeafOpens() {
        dialog.treeViewExpandAll()
        verifyShown("R1")
        var before = tree().__listView.count
        mouseDoubleClickSequence(tree(), 150, rowY("R1"))
        compare(dialog.selectFileNumber, 3)
        compare(tree().__listView.count, before)
        compare(openProgressLog, [0])
        tryCompare(progressSpy, "count", 1)
    }

    // Keys go to the window once it is active and has taken the focus in (its root item then has
    // the active focus); a key sent between the two is lost.
    function activate() {
        dialog.requestActivate()
        tryVerify(function () { return dialog.active && dialog.activeFocusItem !== null })
    }

    function currentName() {
        return rowName(tree().currentIndex)
    }

    function test_keyboard_tabReachesTheSearchField() {
        activate()
        keyClick(Qt.Key_Tab)
        verify(part("gidTextInputSearch").activeFocus)
        keyClick(Qt.Key_R)
        keyClick(Qt.Key_2)
        keyClick(Qt.Key_Enter)
        compare(myModel.rowCount(), 1)
        compare(currentName(), "接收器")
    }

    function test_keyboard_currentRowIsValidAfterEverySearch_data() {
        return [
            { tag: "narrowing", terms: ["*", "x2"], current: "发射器" },
            { tag: "to nothing", terms: ["r5", "no such device"], current: undefined },
            { tag: "back to all", terms: ["x2", "*"], current: "发射器" },
        ]
    }

    function test_keyboard_currentRowIsValidAfterEverySearch(data) {
        dialog.treeViewExpandAll()
        clickRow("R3") // the cursor on a row that the searches take away
        for (var i = 0; i < data.terms.length; ++i)
            dialog.doOneTimeSearch(data.terms[i])
        compare(tree().currentIndex.valid, data.current !== undefined)
        compare(currentName(), data.current)
        // A chosen firmware is gone with its row: nothing is selected now.
        compare(dialog.selectFileNumber, -1)
        compare(part("gidBtnOpenFireware").enabled, false)
    }

    // Up and Down walk the rows; Enter folds a category and opens a firmware.
    function test_keyboard_upDownAndEnter() {
        dialog.doOneTimeSearch("r5")
        activate()
        keyClick(Qt.Key_Tab) // the search field
        keyClick(Qt.Key_Tab) // the tree
        tryVerify(function () { return tree().__listView.activeFocus })
        compare(currentName(), "接收器")
        keyClick(Qt.Key_Down)
        compare(currentName(), "R5 系列")
        keyClick(Qt.Key_Down)
        compare(currentName(), "R1")
        compare(dialog.selectFileNumber, 3)
        keyClick(Qt.Key_Up)
        compare(currentName(), "R5 系列")
        compare(dialog.selectFileNumber, -1)
        keyClick(Qt.Key_Return)
        verify(!tree().isExpanded(tree().currentIndex), "Enter folds the category")
        keyClick(Qt.Key_Return)
        verify(tree().isExpanded(tree().currentIndex))
        keyClick(Qt.Key_Down)
        keyClick(Qt.Key_Return)
        compare(openProgressLog, [0])
        tryCompare(progressSpy, "count", 1)
    }

    function test_keyboard_escapeCancels() {
        dialog.doOneTimeSearch("r5")
        activate()
        part("gidTextInputSearch").forceActiveFocus()
        tryVerify(function () { return part("gidTextInputSearch").activeFocus })
        keyClick(Qt.Key_Escape)
        tryCompare(dialog, "visible", false)
        compare(dialog.searchInputText, "r5")
    }

    // The tree after searching "x2": 发射器 / Q7 系列 / HW2 / X2, every level expanded.
    function verifyX2Result() {
        compare(myModel.rowCount(), 1)
        var first = myModel.index(0, 0)
        var second = myModel.index(0, 0, first)
        var third = myModel.index(0, 0, second)
        compare(myModel.data(third, TreeViewModel.NAME), "HW2")
        verify(tree().isExpanded(first) && tree().isExpanded(second) && tree().isExpanded(third))
        verifyShown("X2")
    }

    function test_enterAndSearchImageSearchAlike() {
        var input = part("gidTextInputSearch")
        activate()
        input.forceActiveFocus()
        keyClick(Qt.Key_X)
        keyClick(Qt.Key_2)
        compare(dialog.searchInputText, "x2")
        keyClick(Qt.Key_Return)
        verifyX2Result()

        dialog.doOneTimeSearch("*")
        compare(myModel.rowCount(), 2)
        dialog.searchInputText = "x2"
        mouseClick(part("buttonImage"))
        verifyX2Result()
    }

    function test_searchImageFollowsTheMouse() {
        var image = part("buttonImage")
        mouseMove(image, 10, 10)
        tryCompare(image, "source", "qrc:/img/img_search_over.png")
        mousePress(image, 10, 10)
        compare(String(image.source), "qrc:/img/img_search_down.png")
        mouseRelease(image, 10, 10)
        compare(String(image.source), "qrc:/img/img_search.png")
        mouseMove(image, 10, 10)
        mouseMove(part("gidTextSearch"), 2, 2)
        tryCompare(image, "source", "qrc:/img/img_search.png")
    }

    function test_doOneTimeSearchFiltersAndExpands() {
        dialog.doOneTimeSearch("R2")
        compare(dialog.searchInputText, "R2")
        compare(myModel.rowCount(), 1)
        compare(myModel.data(myModel.index(0, 0), TreeViewModel.NAME), "接收器")
        // The device's leaf shows without expanding by hand.
        verifyShown("R2")
        compare(rowY("R1"), -1)

        dialog.doOneTimeSearch("no such device")
        compare(myModel.rowCount(), 0)
    }

    function test_minimumSizeAndPanelWidths() {
        compare(dialog.minimumWidth, 500)
        compare(dialog.minimumHeight, 320)
        dialog.width = 500
        dialog.height = 320
        tryCompare(dialog.contentItem, "height", 320)
        tryCompare(dialog.contentItem, "width", 500)
        function geometry(name) {
            var item = part(name)
            var p = item.mapToItem(dialog.contentItem, 0, 0)
            return [p.x, p.y, item.width, item.height]
        }
        // The panels are laid out at the next polish, after the window's own size has settled.
        tryCompare(part("gidRecTreeList"), "width", 220)
        compare(geometry("gidRecTreeList"), [20, 64, 220, 246])
        compare(geometry("gidRecDetailMsg"), [260, 64, 220, 166])
        compare(geometry("gidBtnDetailChangeList"), [380, 240, 100, 30])
        compare(geometry("gidRowButtons"), [300, 280, 140, 30])

        dialog.width = 800
        tryCompare(dialog.contentItem, "width", 800)
        tryCompare(part("gidRecTreeList"), "width", 370)
        compare(geometry("gidRecTreeList")[2], 370)
        compare(geometry("gidRecDetailMsg"), [410, 64, 370, 166])
    }

    function test_languageTextsAndTitleFollowTheController() {
        dialog.treeViewExpandAll()
        clickRow("Q7PRO")
        backend.qml_LangageSelectChange(1)
        // The chosen firmware's details are written again in the new language.
        compare(part("gidTextMsg_Remark").text, "Notes: ")
        compare(part("gidBtnOpenFireware").text, "Open")
        compare(part("gidBtnCancel").text, "Cancel")
        compare(part("gidBtnDetailChangeList").text, "Change history")
        compare(dialog.title, "Tarvo Firmware Updater")
        backend.qml_LangageSelectChange(0)
        compare(part("gidBtnOpenFireware").text, "打开")
    }

    function test_cancelHidesAndKeepsState() {
        dialog.doOneTimeSearch("r5")
        clickRow("R3")
        mouseClick(part("gidBtnCancel"))
        tryCompare(dialog, "visible", false)
        compare(dialog.selectFileNumber, 6)
        compare(dialog.searchInputText, "r5")
        compare(myModel.rowCount(), 1)
    }

    // Catalogue strings are shown literally: <img> in any of them fetches nothing.
    function test_markupInCatalogueIsShownAsPlainText() {
        fixture.storeCatalogue(true)
        backend.qml_LoadJsonFile()
        dialog.treeViewExpandAll()
        waitForRendering(dialog.contentItem)
        var markupLeaf = ""
        for (var y = 1; y < tree().height && markupLeaf === ""; y += 2) {
            var name = myModel.data(tree().indexAt(150, y), TreeViewModel.NAME)
            if (name !== undefined && name.indexOf("M1<img") === 0) {
                markupLeaf = name
                mouseClick(tree(), 150, y)
            }
        }
        verify(markupLeaf !== "", "markup leaf shown")
        compare(dialog.selectFileNumber, 8)
        verify(part("gidTextCurSelectDevice").text.indexOf("<img src=") >= 0)
        verify(part("gidTextMsg_RemarkChild").text.indexOf("<img src=") >= 0)
        waitForRendering(dialog.contentItem)

        // A rich-text control with its own address proves that such a fetch would have happened
        // by now; the dialog's addresses must still be untouched.
        ignoreWarning(new RegExp("control.png"))
        var control = createTemporaryQmlObject("import QtQuick 2.15; Text { textFormat: Text.RichText; "
                                               + "text: '<img src=\"" + fixture.serverUrl
                                               + "/control.png\">' }", dialog.contentItem)
        tryVerify(function () { return fixture.requestedPaths().indexOf("/control.png") >= 0 })
        waitForRendering(dialog.contentItem)
        compare(fixture.requestedPaths(), ["/control.png"])
    }

    function test_screenshotWithSampleCatalogue() {
        dialog.width = 560
        dialog.height = 380
        dialog.treeViewExpandAll()
        clickRow("X1")
        waitForRendering(dialog.contentItem)
        var image = grabImage(dialog.contentItem)
        compare(image.width, 560)
        image.save(screenshotDir + "/dialog.png")
    }
}
