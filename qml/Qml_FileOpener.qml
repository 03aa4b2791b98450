import QtQuick 2.15
import QtQuick.Window 2.15
import Qt.labs.platform 1.1 as Platform

// Open: the file dialog, in the current language and in the last image's folder. When it closes
// the keyboard is back in the window, never left in the dialog's leftovers.
Item {
    id: opener

    // The window the dialog belongs to, and the control that takes the keyboard back when it can.
    property Window window
    property Item preferred
    property string title
    // The dialog opens in the folder of the last image.
    property url folder: Platform.StandardPaths.standardLocations(
                             Platform.StandardPaths.DesktopLocation)[0]
    // Made at the first Open, like the other windows.
    property var dialog: null

    signal chosen(url file)

    function open() {
        // A fresh name field in the last image's folder: typed text is never appended to a path.
        if (!dialog)
            dialog = dialogComponent.createObject(window)
        dialog.folder = folder
        dialog.currentFile = ""
        dialog.open()
    }

    // On the preferred control when it can be used, else on the first that can, with its focus
    // ring showing. Until the window system has given the window the focus back no item can take
    // it: tried again for a while.
    function returnFocus() {
        window.requestActivate()
        var target = preferred
        if (!target || !target.enabled || !target.visible)
            target = window.contentItem.nextItemInFocusChain(true)
        if (!target)
            return
        target.forceActiveFocus(Qt.TabFocusReason)
        if (target.activeFocus)
            focusRetry.tries = 0
        else
            focusRetry.start()
    }

    Timer {
        id: focusRetry
        property int tries: 0
        interval: 50
        onTriggered: {
            if (++tries <= 20)
                opener.returnFocus()
            else
                tries = 0
        }
    }

    Component {
        id: dialogComponent

        Platform.FileDialog {
            id: fileDialog
            objectName: "fileDialog"
            title: opener.title
            nameFilters: [backend.uiTexts.fileFilter]
            onAccepted: {
                opener.chosen(fileDialog.file)
                Qt.callLater(opener.returnFocus)
            }
            onRejected: Qt.callLater(opener.returnFocus)
        }
    }
}
