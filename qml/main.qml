import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Dialogs 1.3
import QtQuick.Controls 2.15

// The main window: lays out the status row, the log, the progress line and the language box and
// wires them to the controller; the selection dialog, the download popup, the file dialog and the
// questions are made when first needed.
ApplicationWindow {
    id: rootWindow

    property url logoPath
    property url usbIconOn
    property url usbIconOff
    property string help_website: "www.example.com"
    property bool isdownJsonFile: false
    // The selection dialog and the download popup are made when first needed, not at start.
    property var netFileDialog: null
    property var gidDownloadProgress: null
    // The question shown over the window, if any.
    property var question: null
    property alias lastImageFolder: fileOpener.folder
    readonly property var fileDialog: fileOpener.dialog
    // Open, Update, the network button and the language box wait while an update writes.
    readonly property bool updateRunning: backend.updateRunning
    readonly property bool networkFirmwareShown: backend.networkFirmwareEnabled()
    property bool closeConfirmed: false
    // The selection dialog or the download popup is up: the window's controls wait for it, as
    // under a modal window, while its close still goes through (and ends a download).
    readonly property bool childWindowOpen: (netFileDialog !== null && netFileDialog.visible)
                                            || (gidDownloadProgress !== null
                                                && gidDownloadProgress.visible)

    // The log's bound and scroll bar, where the window's users look for them.
    readonly property int maxLogLines: item_TextOut.maxLines
    readonly property ScrollBar logScrollBar: item_TextOut.scrollBar

    signal notifyStartUpdate(int Event)

    // Resizable: the log takes the room.
    width: 575
    height: 350
    minimumWidth: 575
    minimumHeight: 350
    visible: true
    title: "Tarvo固件升级软件"

    function delay(func, ms) {
        var timer = Qt.createQmlObject("import QtQuick 2.15; Timer { interval: " + ms
                                       + "; repeat: false; running: true }",
                                       rootWindow, "dynamicTimer")
        timer.triggered.connect(func)
        timer.triggered.connect(function () { timer.destroy() })
    }

    // The Windows form of a local file URL is file:///C:/..., the Unix one file:///usr/...
    function configUrl(name) {
        var dir = configdir.charAt(0) === "/" ? configdir.substring(1) : configdir
        return "file:///" + dir + name
    }

    function ensureDialog() {
        if (!netFileDialog) {
            netFileDialog = Qt.createComponent("qrc:/Qml_DeviceSelect.qml").createObject(
                        rootWindow, { "objectName": "netFileDialog" })
            netFileDialog.progressRequested.connect(openProgress)
        }
        return netFileDialog
    }

    function ensurePopup() {
        if (!gidDownloadProgress) {
            // Transient for the dialog, so that the window system keeps it above the dialog.
            gidDownloadProgress = Qt.createComponent("qrc:/Qml_DownLoadProgress.qml").createObject(
                        rootWindow, { "objectName": "gidDownloadProgress",
                                      "transientParent": ensureDialog() })
        }
        return gidDownloadProgress
    }

    // Shows a window on top with the focus; a window not yet on screen takes it once drawn.
    function bringUp(win) {
        var wasShown = win.visible
        win.visible = true
        win.raise()
        if (wasShown) {
            win.requestActivate()
            return
        }
        var activate = function () {
            win.frameSwapped.disconnect(activate)
            win.raise()
            win.requestActivate()
        }
        win.frameSwapped.connect(activate)
    }

    // Centres the popup over the dialog and brings it up on top, with the focus.
    function openProgress() {
        var dialog = ensureDialog()
        var popup = ensurePopup()
        popup.x = dialog.x + (dialog.width - popup.width) / 2
        popup.y = dialog.y + (dialog.height - popup.height) / 2
        popup.progressValue = 0
        bringUp(popup)
    }

    Timer {
        id: catalogueLoading
        interval: 300
        // Over the main window: the dialog, its usual transient parent, is not up yet.
        onTriggered: {
            var popup = ensurePopup()
            popup.transientParent = rootWindow
            popup.x = rootWindow.x + (rootWindow.width - popup.width) / 2
            popup.y = rootWindow.y + (rootWindow.height - popup.height) / 2
            popup.progressValue = 0
            bringUp(popup)
        }
    }

    function openNetworkFirmware() {
        if (updateRunning)
            return
        isdownJsonFile = true
        // A slow server: the popup says the catalogue is loading and offers Cancel meanwhile.
        catalogueLoading.start()
        backend.qml_LoadJsonFile()
        catalogueLoading.stop()
        if (gidDownloadProgress) {
            gidDownloadProgress.visible = false
            gidDownloadProgress.transientParent = ensureDialog()
        }
        isdownJsonFile = false
        if (!backend.jsonFileIsExists())
            return
        var dialog = ensureDialog()
        bringUp(dialog)
        dialog.searchInputText = ""
        var deviceId = backend.qmlGetDeviceID()
        if (deviceId !== "*")
            dialog.doOneTimeSearch(deviceId)
    }

    function openImage(url) {
        backend.openFirwareFile(url)
        var path = String(url)
        lastImageFolder = path.substring(0, path.lastIndexOf("/"))
    }

    function openFileDialog() {
        if (!updateRunning)
            fileOpener.open()
    }

    function ask(name, text, safeText, riskyText, onRisky) {
        if (question)
            question.close()
        question = Qt.createComponent("qrc:/Qml_Question.qml").createObject(
                    rootWindow.contentItem, { "objectName": name, "text": text,
                                              "safeText": safeText, "riskyText": riskyText })
        var shown = question
        shown.riskyChosen.connect(onRisky)
        shown.closed.connect(function () {
            if (question === shown)
                question = null
            shown.destroy()
        })
        shown.open()
    }

    // Closing mid-update leaves the device unusable until it is updated again: ask first.
    function closeOrAsk(closeNow) {
        if (!updateRunning || closeConfirmed || backend.sessionEnding) {
            closeNow()
            return
        }
        ask("closeQuestion", backend.uiTexts.updateRunningQuestion, backend.uiTexts.keepUpdating,
            backend.uiTexts.closeAnyway, function () {
                closeConfirmed = true
                closeNow()
            })
    }

    function exitProgram() {
        backend.windowsClose()
        Qt.quit()
    }

    onClosing: {
        if (updateRunning && !closeConfirmed && !backend.sessionEnding) {
            close.accepted = false
            closeOrAsk(function () { rootWindow.close() })
            return
        }
        // Ends a download under way, and the dialog and the popup go with the window.
        backend.windowsClose()
        if (gidDownloadProgress)
            gidDownloadProgress.visible = false
        if (netFileDialog)
            netFileDialog.visible = false
        close.accepted = true
    }

    Component.onCompleted: {
        notifyStartUpdate.connect(backend.fromUiEevent)
        logoPath = configUrl("logo.png")
        usbIconOn = configUrl("ON.png")
        usbIconOff = configUrl("OFF.png")
    }

    Connections {
        target: backend

        function onSigOutputMsg(Clolr, OutputMsg) { item_TextOut.append(Clolr, OutputMsg) }

        function onSigUsbConnectStatus(Status) {
            item_top.statusIcon = Status === 0 ? usbIconOff : usbIconOn
            if (item_top.connected !== (Status !== 0))
                announcer.say(Status !== 0 ? backend.uiTexts.usbConnected
                                           : backend.uiTexts.usbDisconnected)
            item_top.connected = Status !== 0
        }

        function onSigProgressValue(value) { item_Prog.value = value / 100.0 }

        function onSiglangageChange(strTitle, strOpenfile, strUpdate, strHelp, strExit, strNetFile) {
            rootWindow.title = strTitle
            item_top.openText = strOpenfile
            item_top.updateText = strUpdate
            item_bottom.helpText = strHelp
            item_bottom.exitText = strExit
            item_top.networkText = strNetFile
        }

        function onSigInitLangageComboBox(list, Len, CurentSelect) {
            item_bottom.languageBox.setLanguages(list, Len, CurentSelect)
        }

        function onSigSetHelpBtnMeg(website) { help_website = website }

        function onSigProgressCtrl(percent, isClose) {
            if (gidDownloadProgress)
                gidDownloadProgress.progressValue = percent
            if (!isClose)
                return
            if (isdownJsonFile) {
                // The catalogue download never shows the popup.
                isdownJsonFile = false
                return
            }
            delay(function () {
                if (gidDownloadProgress)
                    gidDownloadProgress.visible = false
                if (netFileDialog)
                    netFileDialog.visible = false
            }, 300)
        }

        function onSigMismatchQuestion(text) {
            ask("mismatchQuestion", text, backend.uiTexts.doNotUpdate,
                backend.uiTexts.updateAnyway, function () { backend.qml_UpdateDespiteMismatch() })
        }

        function onSigInsteadQuestion(text, answer) {
            ask("insteadQuestion", text, backend.uiTexts.doNotUpdate, answer, backend.qml_UpdateInstead)
        }

        function onSigUpdateState(running) {
            Qt.callLater(item_Prog.followUpdate, running)
            // The question about closing has no subject once the update is over.
            if (!running && question && question.objectName === "closeQuestion")
                question.close()
        }
    }

    Shortcut {
        sequence: StandardKey.Open
        enabled: !updateRunning && !childWindowOpen
        onActivated: openFileDialog()
    }

    Qml_ImageDrop {
        anchors.fill: parent
        z: 10
        accepting: !updateRunning && !childWindowOpen
        onImageDropped: openImage(url)
    }

    Rectangle {
        id: clientArea
        anchors.fill: parent
        color: Qt.rgba(240 / 255, 240 / 255, 240 / 255, 1)
    }

    // Decoration: a screen reader has the window's title.
    Image {
        id: img_logo
        objectName: "img_logo"
        x: 10
        y: 10
        width: 180
        height: parent.height - 20
        source: logoPath
        fillMode: Image.Stretch
        Accessible.ignored: true
    }

    Rectangle {
        id: rec_Ctrl
        objectName: "rec_Ctrl"
        enabled: !childWindowOpen
        x: 200
        width: parent.width - 200
        height: parent.height
        color: "transparent"

        Qml_StatusRow {
            id: item_top
            anchors.top: parent.top
            anchors.topMargin: 23
            width: parent.width
            networkShown: networkFirmwareShown
            busy: updateRunning
            identityText: backend.deviceIdentityText
            statusIcon: usbIconOff
            onNetworkFirmwareRequested: openNetworkFirmware()
            onOpenRequested: openFileDialog()
            onUpdateRequested: notifyStartUpdate(1)
        }

        Qml_LogView {
            id: item_TextOut
            x: 0
            width: parent.width - 13
            anchors.top: item_top.bottom
            anchors.bottom: item_Prog.top
            anchors.bottomMargin: 8
        }

        Qml_ProgressLine {
            id: item_Prog
            x: 0
            width: parent.width - 13
            anchors.bottom: item_bottom.top
            anchors.bottomMargin: 13
            text: backend.progressText
            outcome: backend.updateOutcome
            recentLines: item_TextOut.recentLines
            shownLines: item_TextOut.shownLines
            mayTakeFocus: question === null && !childWindowOpen
        }

        Qml_BottomRow {
            id: item_bottom
            anchors.bottom: parent.bottom
            width: parent.width
            busy: updateRunning
            onHelpRequested: Qt.openUrlExternally("https://" + help_website)
            onExitRequested: closeOrAsk(exitProgram)
        }
    }

    Qml_Announcer { id: announcer }

    Qml_FileOpener {
        id: fileOpener
        window: rootWindow
        preferred: item_top.updateButton
        title: item_top.openText
        onChosen: openImage(file)
    }
}
