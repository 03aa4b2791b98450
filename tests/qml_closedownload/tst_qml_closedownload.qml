import QtQuick 2.15
import QtTest 1.15

// Qt drops the close of a window that a modal one blocks: with the popup up over a download that
// never ends by itself, closing the main window must still reach it and end the download.
TestCase {
    id: testCase
    name: "CloseDuringDownload"
    when: windowShown

    property var win: null
    property bool guardFired: false

    SignalSpy { id: logSpy; target: backend; signalName: "sigOutputMsg" }

    // Ends the wait if the close never arrives, so that the test fails at once and not after the
    // downloader's own stall timer.
    Timer {
        id: guard
        interval: 5000
        onTriggered: {
            guardFired = true
            backend.qml_CancelDownload()
        }
    }

    // The firmware's request has reached the server: close the main window from inside the wait.
    Connections {
        target: httpServer
        function onRequested(path) {
            if (path === "/fw/X1.zip" && win)
                Qt.callLater(function () { win.close() })
        }
    }

    // While the slow catalogue loads, the popup says so (with Cancel); once it is there the
    // dialog opens and the popup goes.
    property bool loadingShown: false
    property string loadingText: ""
    Timer {
        id: watchLoading
        interval: 50
        repeat: true
        onTriggered: {
            if (win && win.gidDownloadProgress && win.gidDownloadProgress.visible) {
                loadingShown = true
                loadingText = backend.downloadText
            }
        }
    }

    function test_aSlowCatalogueShowsItLoadingThenTheDialog() {
        win = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        waitForRendering(win.contentItem)
        watchLoading.start()
        win.openNetworkFirmware() // returns once the catalogue has come
        watchLoading.stop()
        verify(loadingShown, "the popup showed while the catalogue loaded")
        compare(loadingText, "正在加载固件目录…")
        verify(win.netFileDialog && win.netFileDialog.visible, "the dialog opened")
        verify(!win.gidDownloadProgress.visible, "the popup went")
        compare(backend.downloadText, "")
        win.netFileDialog.visible = false
        win.close()
    }

    function test_closingTheMainWindowEndsTheDownload() {
        win = createTemporaryObject(Qt.createComponent("qrc:/main.qml"), testCase)
        waitForRendering(win.contentItem)
        win.openNetworkFirmware()
        var dialog = win.netFileDialog
        verify(dialog && dialog.visible, "the catalogue came from the server")
        logSpy.clear()
        dialog.selectFileNumber = 0
        guard.start()
        dialog.openSelected() // returns once the download has ended
        guard.stop()
        verify(!guardFired, "the close ended the download")
        verify(!win.visible, "the window closed")
        verify(!win.gidDownloadProgress.visible && !dialog.visible, "the popup and dialog went too")
        compare(backend.downloadText, "")
        // Only the note that this catalogue's firmware carries no digest may be logged.
        var red = 0
        for (var i = 0; i < logSpy.count; ++i)
            red += logSpy.signalArguments[i][0] === "red" ? 1 : 0
        compare(red, 0, "an ended download reports no network fault")
    }
}
