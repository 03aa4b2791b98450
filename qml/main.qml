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
        contentItem: Text {
            text: fwButton.text
            font: fwButton.font
            color: "black"
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
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

    function openNetworkFirmware() {
        isdownJsonFile = true
        backend.qml_LoadJsonFile()
        isdownJsonFile = false
        if (!backend.jsonFileIsExists())
            return
        netFileDialog.visible = true
        netFileDialog.searchInputText = ""
        var deviceId = backend.qmlGetDeviceID()
        if (deviceId !== "*")
            netFileDialog.doOneTimeSearch(deviceId)
    }

    onClosing: {
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
            gidDownloadProgress.progressValue = percent
            if (!isClose)
                return
            if (isdownJsonFile) {
                // The catalogue download never shows the popup.
                isdownJsonFile = false
                return
            }
            delay(function () {
                gidDownloadProgress.visible = false
                netFileDialog.visible = false
            }, 300)
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

            Row {
                spacing: 48

                Image {
                    id: img_ConnectStatus
                    objectName: "img_ConnectStatus"
                    width: 91
                    height: 25
                    source: usbIconOff
                }

                FwButton {
                    id: bt_netFile
                    objectName: "bt_netFile"
                    width: 80
                    text: "网络固件"
                    visible: false
                    onClicked: openNetworkFirmware()
                }

                FwButton {
                    id: bt_OpenFile
                    objectName: "bt_OpenFile"
                    text: "打开文件"
                    onClicked: fileDialog.open()
                }

                FwButton {
                    id: bt_Update
                    objectName: "bt_Update"
                    text: "更新"
                    onClicked: notifyStartUpdate(1)
                }
            }
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

                    onCurrentIndexChanged: backend.qml_LangageSelectChange(currentIndex)

                    delegate: ItemDelegate {
                        width: comb_Language.width
                        highlighted: comb_Language.highlightedIndex === index
                        contentItem: Text {
                            text: model.text
                            color: "black"
                            font.pixelSize: 14
                            font.family: "Arial"
                            elide: Text.ElideRight
                            verticalAlignment: Text.AlignVCenter
                        }
                    }

                    indicator: Canvas {
                        id: comboArrow
                        x: comb_Language.width - width - comb_Language.rightPadding
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
                    onClicked: {
                        backend.windowsClose()
                        Qt.quit()
                    }
                }
            }
        }
    }

    Platform.FileDialog {
        id: fileDialog
        nameFilters: ["Firmware Files (*.bin)"]
        folder: Platform.StandardPaths.standardLocations(Platform.StandardPaths.DesktopLocation)[0]
        onAccepted: backend.openFirwareFile(fileDialog.file)
    }

    Qml_DeviceSelect {
        id: netFileDialog
        objectName: "netFileDialog"
        visible: false

        function openProgress() {
            gidDownloadProgress.x = netFileDialog.x + (netFileDialog.width - gidDownloadProgress.width) / 2
            gidDownloadProgress.y = netFileDialog.y + (netFileDialog.height - gidDownloadProgress.height) / 2
            gidDownloadProgress.progressValue = 0
            gidDownloadProgress.visible = true
        }
    }

    Qml_DownLoadProgress {
        id: gidDownloadProgress
        objectName: "gidDownloadProgress"
        visible: false
    }
}
