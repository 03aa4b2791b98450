import QtQuick 2.15
import QtTest 1.15
import TreeViewModel 1.0

// The main window's network-firmware flow (the hidden button's handler) with the real dialog,
// popup and controller. The catalogue address is a missing local file, so a catalogue download
// fails here; a stored catalogue stands for one downloaded earlier in the run.
TestCase {
    id: testCase
    name: "NetworkFirmwareFlow"
    when: windowShown

    property var win: null
    property var dialog: null
    property var popup: null

    SignalSpy { id: outputSpy; target: backend; signalName: "sigOutputMsg" }

    function init() {
        backend.slot_ReceiveDeviceID("*")
        fixture.clearTemp()
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        win = createTemporaryObject(component, testCase)
        // Neither is made before it is needed.
        verify(win.netFileDialog === null && win.gidDownloadProgress === null)
        dialog = win.ensureDialog()
        popup = win.ensurePopup()
        verify(dialog && popup)
        waitForRendering(win.contentItem)
        outputSpy.clear()
    }

    function cleanup() {
        if (popup)
            popup.visible = false
        if (dialog)
            dialog.visible = false
    }

    function lastMessage() { return outputSpy.signalArguments[outputSpy.count - 1][1] }

    function test_noCatalogueOpensNothing() {
        win.openNetworkFirmware()
        compare(win.isdownJsonFile, false)
        compare(dialog.visible, false)
        compare(popup.visible, false, "the catalogue download never shows the popup")
        verify(outputSpy.count > 0)
        verify(lastMessage().indexOf("网络错误") >= 0, lastMessage())
    }

    function test_firstShowKeepsItsInitialState_data() {
        return [
            { tag: "whole tree", device: "*" },
            { tag: "filtered by the device", device: "R2" },
        ]
    }

    // The very first show: the tree is built before and while the dialog is made.
    function test_firstShowKeepsItsInitialState(data) {
        var fresh = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        fixture.storeCatalogue(false)
        backend.slot_ReceiveDeviceID(data.device)
        fresh.openNetworkFirmware()
        var shown = fresh.netFileDialog
        tryVerify(function () { return shown.visible })
        waitForRendering(shown.contentItem)
        compare(findChild(shown, "gidBtnOpenFireware").enabled, false)
        compare(findChild(shown, "gidBtnDetailChangeList").enabled, false)
        // No details before a firmware is chosen, only the hint.
        verify(findChild(shown, "gidTextHint").visible)
        compare(findChild(shown, "gidTextMsg_DescriptionChild").text, "")
        verify(findChild(shown, "gidTreeView").currentIndex.valid)
        // Not modal, so that closing the main window still ends a download: its controls wait.
        compare(findChild(fresh.contentItem, "rec_Ctrl").enabled, false)
        shown.visible = false
        compare(findChild(fresh.contentItem, "rec_Ctrl").enabled, true)
    }

    // Qt drops the close of a window that a modal one blocks: with the popup up, closing the
    // main window must still go through (and end the download).
    function test_closingTheWindowWithThePopupUp() {
        var fresh = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        fixture.storeCatalogue(false)
        fresh.openNetworkFirmware()
        tryVerify(function () { return fresh.netFileDialog.visible })
        fresh.openProgress()
        var popup = fresh.gidDownloadProgress
        tryVerify(function () { return popup.visible })
        fresh.close()
        tryVerify(function () { return !fresh.visible }, 2000, "the window closed")
        verify(!popup.visible && !fresh.netFileDialog.visible)
    }

    function test_catalogueOpensDialogWithWholeTree() {
        fixture.storeCatalogue(false)
        dialog.searchInputText = "left over"
        win.openNetworkFirmware()
        compare(dialog.visible, true)
        compare(dialog.searchInputText, "")
        compare(myModel.rowCount(), 2)
        compare(popup.visible, false)
    }

    function test_deviceIdentityFiltersTheTree() {
        fixture.storeCatalogue(false)
        backend.slot_ReceiveDeviceID("R2")
        win.openNetworkFirmware()
        compare(dialog.visible, true)
        compare(dialog.searchInputText, "R2")
        compare(myModel.rowCount(), 1)
        var tree = findChild(dialog, "gidTreeView")
        var receivers = myModel.index(0, 0)
        var series = myModel.index(0, 0, receivers)
        var hardware = myModel.index(0, 0, series)
        compare(myModel.data(myModel.index(0, 0, hardware), TreeViewModel.NAME), "R2 \u00b7 1.4 \u00b7 2024-12-05")
        verify(tree.isExpanded(receivers) && tree.isExpanded(series) && tree.isExpanded(hardware))
    }

    function test_firmwareDownloadEndClosesPopupAndDialogLater() {
        fixture.storeCatalogue(false)
        win.openNetworkFirmware()
        dialog.x = 100
        dialog.y = 80
        popup.progressValue = 55
        dialog.openProgress()
        compare(popup.visible, true)
        compare(popup.progressValue, 0)
        compare(popup.x, dialog.x + (dialog.width - 500) / 2)
        compare(popup.y, dialog.y + (dialog.height - 150) / 2)

        backend.sigProgressCtrl(50, false)
        compare(popup.progressValue, 50)
        backend.sigProgressCtrl(100, true)
        compare(popup.progressValue, 100)
        verify(popup.visible && dialog.visible, "the final percentage stays up for a moment")
        tryCompare(popup, "visible", false)
        tryCompare(dialog, "visible", false)
    }

    // The real road through the dialog's Open: the archive is missing, the download fails, and
    // its closing report still takes popup and dialog down.
    function test_failedFirmwareDownloadAlsoCloses() {
        fixture.storeCatalogue(false)
        backend.slot_ReceiveDeviceID("X3")
        win.openNetworkFirmware()
        var tree = findChild(dialog, "gidTreeView")
        waitForRendering(dialog.contentItem)
        var leafY = -1
        for (var y = 1; y < tree.height && leafY < 0; y += 2) {
            if (String(myModel.data(tree.indexAt(100, y), TreeViewModel.NAME)).indexOf("X3 ") === 0)
                leafY = y
        }
        verify(leafY >= 0, "X3 shown")
        mouseClick(tree, 100, leafY)
        compare(dialog.selectFileNumber, 2)
        mouseClick(findChild(dialog, "gidBtnOpenFireware"))
        verify(lastMessage().indexOf("网络错误") >= 0, lastMessage())
        tryCompare(popup, "visible", false)
        tryCompare(dialog, "visible", false)
    }

    // A catalogue that does not parse: one red line, no dialog, and the next click fetches it
    // again from the server, which now answers properly.
    function test_brokenCatalogueIsDroppedAndFetchedAgain() {
        fixture.storeBrokenCatalogue()
        win.openNetworkFirmware()
        compare(dialog.visible, false)
        compare(outputSpy.count, 1)
        verify(lastMessage().indexOf("网络错误") >= 0, lastMessage())
        verify(!backend.jsonFileIsExists())

        fixture.serveCatalogue()
        win.openNetworkFirmware()
        compare(outputSpy.count, 1)
        compare(dialog.visible, true)
        compare(myModel.rowCount(), 2)
    }

    // After Cancel and a reopen the popup still comes up above the dialog, with the focus.
    function test_popupIsOnTopAfterCancelAndReopen() {
        fixture.storeCatalogue(false)
        win.openNetworkFirmware()
        tryVerify(function () { return dialog.active })
        mouseClick(findChild(dialog, "gidBtnCancel"))
        tryCompare(dialog, "visible", false)
        win.openNetworkFirmware()
        tryVerify(function () { return dialog.active })
        dialog.openProgress()
        compare(popup.transientParent, dialog)
        tryVerify(function () { return popup.active }, 2000, "the popup has the focus")
    }

    function test_catalogueDownloadEndLeavesWindowsAlone() {
        win.isdownJsonFile = true
        backend.sigProgressCtrl(100, true)
        compare(win.isdownJsonFile, false)
        compare(popup.visible, false)
        compare(popup.progressValue, 100)
    }
}
