import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Dialogs 1.3
import QtQuick.Controls 2.15
import Qt.labs.platform 1.1 as Platform

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
    // The file dialog opens in the folder of the last image.
    property url lastImageFolder: Platform.StandardPaths.standardLocations(
                                      Platform.StandardPaths.DesktopLocation)[0]
    // Made at the first Open, like the other windows.
    property var fileDialog: null
    // Open, Update, the network button and the language box wait while an update writes.
    readonly property bool updateRunning: backend.updateRunning
    readonly property bool networkFirmwareShown: backend.networkFirmwareEnabled()
    property bool closeConfirmed: false

    // The log keeps at most this many lines; older lines make way for new ones.
    readonly property int maxLogLines: 1000
    readonly property ScrollBar logScrollBar: scrollView.ScrollBar.vertical

    signal notifyStartUpdate(int Event)

    width: 575
    height: 350
    minimumWidth: 575
    maximumWidth: 575
    minimumHeight: 350
    maximumHeight: 350
    visible: true
    title: "Tarvo固件升级软件"

    // The five buttons share one look.
    component FwButton: Button {
        id: fwButton
        width: 88
        height: 25
        font.pixelSize: 14
        font.family: "Arial"
        // Longer translations get the button's whole width before they shrink.
        leftPadding: 3
        rightPadding: 3
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
        contentItem: Qml_FitText {
            text: fwButton.text
            font: fwButton.font
            minimumPixelSize: 9
            horizontalAlignment: Text.AlignHCenter
            color: fwButton.enabled ? "black" : "#a0a0a0"
        }
    }

    function delay(func, ms) {
        var timer = Qt.createQmlObject("import QtQuick 2.15; Timer { interval: " + ms
                                       + "; repeat: false; running: true }",
                                       rootWindow, "dynamicTimer")
        timer.triggered.connect(func)
        timer.triggered.connect(function () { timer.destroy() })
    }

    // Message texts may hold file names and catalogue strings: show them literally, never as markup.
    function escapeHtml(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
                           .replace(/"/g, "&quot;").replace(/'/g, "&#39;")
    }

    function appendLog(color, message) {
        if (color === "red" || color === "black")
            outputTextArea.append("<span style='color: " + color
                                  + "; font-family: Arial; font-size: 18px;'>"
                                  + escapeHtml(message) + "</span>")
        logScrollBar.position = 1.0 - logScrollBar.size
        trimLog()
    }

    // Drops the oldest lines until the log is back within its bound, so the newest stays visible.
    function trimLog() {
        while (outputTextArea.lineCount > maxLogLines) {
            var plain = outputTextArea.getText(0, outputTextArea.length)
            var firstBreak = plain.indexOf("\u2029")
            if (firstBreak < 0)
                break
            outputTextArea.remove(0, firstBreak + 1)
        }
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

    function openNetworkFirmware() {
        if (updateRunning)
            return
        isdownJsonFile = true
        backend.qml_LoadJsonFile()
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
        if (updateRunning)
            return
        // A fresh name field in the last image's folder: typed text is never appended to a path.
        if (!fileDialog)
            fileDialog = fileDialogComponent.createObject(rootWindow)
        fileDialog.folder = lastImageFolder
        fileDialog.currentFile = ""
        fileDialog.open()
    }

    // The one local .bin file a drop carries, as a file: URL; empty for anything else.
    function droppedImage(urls) {
        if (!urls || urls.length !== 1)
            return ""
        var url = String(urls[0])
        return /^file:.*\.bin$/i.test(url) ? url : ""
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
        backend.windowsClose()
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

        function onSigOutputMsg(Clolr, OutputMsg) { appendLog(Clolr, OutputMsg) }

        function onSigUsbConnectStatus(Status) {
            img_ConnectStatus.source = Status === 0 ? usbIconOff : usbIconOn
        }

        function onSigProgressValue(value) { update_Prog.value = value / 100.0 }

        function onSiglangageChange(strTitle, strOpenfile, strUpdate, strHelp, strExit, strNetFile) {
            rootWindow.title = strTitle
            bt_OpenFile.text = strOpenfile
            bt_Update.text = strUpdate
            bt_help.text = strHelp
            bt_exit.text = strExit
            bt_netFile.text = strNetFile
        }

        function onSigInitLangageComboBox(list, Len, CurentSelect) {
            diskModel.clear()
            for (var i = 0; i < Len; ++i)
                diskModel.append({ "text": list[i] })
            comb_Language.currentIndex = CurentSelect
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

        function onSigUpdateState(running) {
            // The question about closing has no subject once the update is over.
            if (!running && question && question.objectName === "closeQuestion")
                question.close()
        }
    }

    Shortcut {
        sequence: StandardKey.Open
        enabled: !updateRunning
        onActivated: openFileDialog()
    }

    // A .bin file dropped on the window opens as if chosen in the file dialog.
    DropArea {
        id: dropArea
        objectName: "dropArea"
        anchors.fill: parent
        z: 10
        onEntered: drag.accepted = !updateRunning && droppedImage(drag.urls) !== ""
        onDropped: {
            var url = droppedImage(drop.urls)
            if (updateRunning || url === "")
                return
            drop.accept(Qt.CopyAction)
            openImage(url)
        }
    }

    Rectangle {
        id: clientArea
        anchors.fill: parent
        color: Qt.rgba(240 / 255, 240 / 255, 240 / 255, 1)
    }

    Rectangle {
        id: rec_logo
        x: 0
        y: 0
        width: 200
        height: parent.height
        color: "transparent"

        Image {
            id: img_logo
            objectName: "img_logo"
            anchors.fill: parent
            anchors.margins: 10
            source: logoPath
            fillMode: Image.Stretch
        }
    }

    Rectangle {
        id: rec_Ctrl
        x: 200
        width: parent.width - 200
        height: parent.height
        color: "transparent"

        Item {
            id: item_top
            objectName: "item_top"
            anchors.top: parent.top
            anchors.topMargin: 23
            width: parent.width
            height: 40

            // With the network button the three buttons share the log's width (362) with the
            // status image: 91 + 3 x 84 + 3 x 6.
            Row {
                id: topRow
                objectName: "topRow"
                spacing: networkFirmwareShown ? 6 : 48

                Image {
                    id: img_ConnectStatus
                    objectName: "img_ConnectStatus"
                    width: 91
                    height: 25
                    source: usbIconOff

                    HoverHandler { id: statusHover }
                    ToolTip.visible: statusHover.hovered && backend.deviceIdentityText !== ""
                    ToolTip.text: backend.deviceIdentityText
                }

                FwButton {
                    id: bt_netFile
                    objectName: "bt_netFile"
                    width: 84
                    text: "网络固件"
                    visible: networkFirmwareShown
                    enabled: !updateRunning
                    onClicked: openNetworkFirmware()
                }

                FwButton {
                    id: bt_OpenFile
                    objectName: "bt_OpenFile"
                    width: networkFirmwareShown ? 84 : 88
                    text: "打开文件"
                    enabled: !updateRunning
                    onClicked: openFileDialog()
                }

                FwButton {
                    id: bt_Update
                    objectName: "bt_Update"
                    width: networkFirmwareShown ? 84 : 88
                    text: "更新"
                    enabled: !updateRunning
                    onClicked: notifyStartUpdate(1)
                }
            }
        }

        // The connected device's identity, in the free band between the top row and the log.
        Qml_FitText {
            id: deviceIdentity
            objectName: "deviceIdentity"
            x: 0
            y: 49
            width: 362
            height: 13
            font.pixelSize: 11
            font.family: "Arial"
            color: "#404040"
            minimumPixelSize: 9
            text: backend.deviceIdentityText
        }

        Item {
            id: item_TextOut
            objectName: "item_TextOut"
            x: 0
            width: 362
            anchors.top: item_top.bottom
            anchors.bottom: item_Prog.top
            anchors.bottomMargin: 8

            Rectangle {
                id: logFrame
                anchors.fill: parent
                color: "white"
                border.color: "grey"

                ScrollView {
                    id: scrollView
                    objectName: "scrollView"
                    anchors.fill: parent
                    clip: true
                    ScrollBar.vertical.policy: ScrollBar.AlwaysOn
                    ScrollBar.vertical.wheelEnabled: true

                    TextArea {
                        id: outputTextArea
                        objectName: "outputTextArea"
                        padding: 2
                        textFormat: Text.RichText
                        font.family: "Arial"
                        font.pointSize: 16
                        color: "blue"
                        readOnly: true
                        wrapMode: TextEdit.WrapAnywhere
                        selectByMouse: true
                        mouseSelectionMode: TextEdit.SelectCharacters
                    }
                }
            }
        }

        Item {
            id: item_Prog
            objectName: "item_Prog"
            x: 0
            width: 362
            height: 25
            anchors.bottom: item_bottom.top
            anchors.bottomMargin: 13

            ProgressBar {
                id: update_Prog
                objectName: "update_Prog"
                anchors.fill: parent
                value: 0
                background: Rectangle {
                    implicitWidth: update_Prog.width
                    implicitHeight: update_Prog.height
                    border.color: "grey"
                    border.width: 1
                    color: Qt.rgba(240 / 255, 240 / 255, 240 / 255, 1)
                    radius: 3
                }
                contentItem: Item {
                    Rectangle {
                        objectName: "update_Prog_fill"
                        width: update_Prog.visualPosition * update_Prog.width
                        height: update_Prog.height
                        radius: 2
                        color: "green"
                    }
                }
            }

            // Percentage and time left on the bar: dark over its empty part, and a white copy
            // clipped to the fill, so that every character reads on grey as on green.
            Qml_FitText {
                id: progressText
                objectName: "progressText"
                anchors.fill: parent
                anchors.leftMargin: 6
                anchors.rightMargin: 6
                horizontalAlignment: Text.AlignHCenter
                font.pixelSize: 13
                font.family: "Arial"
                font.bold: true
                color: "#202020"
                text: backend.progressText
            }

            Item {
                objectName: "progressTextOnFill"
                width: update_Prog.visualPosition * update_Prog.width
                height: parent.height
                clip: true

                Qml_FitText {
                    x: progressText.x
                    width: progressText.width
                    height: progressText.height
                    horizontalAlignment: Text.AlignHCenter
                    font: progressText.font
                    color: "white"
                    text: progressText.text
                }
            }
        }

        Item {
            id: item_bottom
            objectName: "item_bottom"
            anchors.bottom: parent.bottom
            width: parent.width
            height: 40

            Row {
                spacing: 47

                ComboBox {
                    id: comb_Language
                    objectName: "comb_Language"
                    width: 91
                    height: 25
                    font.pixelSize: 14
                    font.family: "Arial"
                    currentIndex: 0
                    textRole: "text"
                    model: ListModel { id: diskModel }
                    enabled: !updateRunning
                    // The arrow keeps the right padding to itself; the name has the rest.
                    leftPadding: 6
                    rightPadding: 6 + 12 + 4

                    contentItem: Qml_FitText {
                        objectName: "comb_Language_text"
                        text: comb_Language.displayText
                        font: comb_Language.font
                        minimumPixelSize: 10
                    }

                    onCurrentIndexChanged: backend.qml_LangageSelectChange(currentIndex)

                    delegate: ItemDelegate {
                        width: comb_Language.width
                        highlighted: comb_Language.highlightedIndex === index
                        contentItem: Qml_FitText {
                            text: model.text
                            font.pixelSize: 14
                            font.family: "Arial"
                        }
                    }

                    indicator: Canvas {
                        id: comboArrow
                        x: comb_Language.width - width - 6
                        y: comb_Language.topPadding + (comb_Language.availableHeight - height) / 2
                        width: 12
                        height: 8
                        contextType: "2d"

                        Connections {
                            target: comb_Language
                            function onPressedChanged() { comboArrow.requestPaint() }
                        }

                        onPaint: {
                            var ctx = getContext("2d")
                            ctx.reset()
                            ctx.moveTo(0, 0)
                            ctx.lineTo(width, 0)
                            ctx.lineTo(width / 2, height)
                            ctx.closePath()
                            ctx.fillStyle = comb_Language.pressed ? "#505050" : "#000000"
                            ctx.fill()
                        }
                    }
                }

                FwButton {
                    id: bt_help
                    objectName: "bt_help"
                    text: "帮助"
                    onClicked: Qt.openUrlExternally("https://" + help_website)
                }

                FwButton {
                    id: bt_exit
                    objectName: "bt_exit"
                    text: "退出"
                    onClicked: closeOrAsk(exitProgram)
                }
            }
        }
    }

    Component {
        id: fileDialogComponent

        Platform.FileDialog {
            id: dialog
            objectName: "fileDialog"
            nameFilters: ["Firmware Files (*.bin)"]
            onAccepted: openImage(dialog.file)
        }
    }
}
