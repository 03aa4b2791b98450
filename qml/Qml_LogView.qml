import QtQuick 2.15
import QtQuick.Controls 2.15
import Qt.labs.platform 1.1 as Platform

// The main window's log: red and black lines, the newest in view, at most maxLines of them. Its
// menu (right click, the Menu key, Shift+F10) copies the log, saves it as a file or opens the
// folder of the program's log files.
Item {
    id: logView
    objectName: "item_TextOut"

    // Older lines make way for new ones beyond this.
    readonly property int maxLines: 1000
    readonly property ScrollBar scrollBar: scrollView.ScrollBar.vertical

    // Message texts may hold file names and catalogue strings: show them literally, never as markup.
    function escapeHtml(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
                           .replace(/"/g, "&quot;").replace(/'/g, "&#39;")
    }

    // Other colours are not shown, but scroll to the newest line all the same.
    function append(color, message) {
        if (color === "red" || color === "black")
            outputTextArea.append("<span style='color: " + color
                                  + "; font-family: Arial; font-size: 18px;'>"
                                  + escapeHtml(message) + "</span>")
        scrollBar.position = 1.0 - scrollBar.size
        trim()
    }

    // The log as plain text, a line each.
    function plainText() {
        return outputTextArea.getText(0, outputTextArea.length).replace(/\u2029/g, "\n")
    }

    // The whole log to the clipboard; the user's own selection stays as it was.
    function copyLog() {
        var start = outputTextArea.selectionStart
        var end = outputTextArea.selectionEnd
        outputTextArea.selectAll()
        outputTextArea.copy()
        outputTextArea.select(start, end)
    }

    // From the keyboard the menu opens at the log's corner, from the mouse where it was clicked.
    function openMenu(x, y) {
        logMenu.popup(outputTextArea, x === undefined ? 8 : x, y === undefined ? 8 : y)
    }

    // Drops the oldest lines until the log is back within its bound, so the newest stays visible.
    function trim() {
        while (outputTextArea.lineCount > maxLines) {
            var plain = outputTextArea.getText(0, outputTextArea.length)
            var firstBreak = plain.indexOf("\u2029")
            if (firstBreak < 0)
                break
            outputTextArea.remove(0, firstBreak + 1)
        }
    }

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
                Keys.onMenuPressed: logView.openMenu()
                Keys.onPressed: {
                    if (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier)) {
                        logView.openMenu()
                        event.accepted = true
                    }
                }

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.RightButton
                    onClicked: {
                        outputTextArea.forceActiveFocus()
                        logView.openMenu(mouse.x, mouse.y)
                    }
                }
            }
        }
    }

    Menu {
        id: logMenu
        objectName: "logMenu"
        MenuItem {
            objectName: "logCopy"
            text: backend.uiTexts.logCopy
            onTriggered: logView.copyLog()
        }
        MenuItem {
            objectName: "logSave"
            text: backend.uiTexts.logSave
            onTriggered: saveDialog.open()
        }
        MenuItem {
            objectName: "logOpenFolder"
            text: backend.uiTexts.logOpenFolder
            onTriggered: backend.qml_OpenLogFolder()
        }
    }

    Platform.FileDialog {
        id: saveDialog
        fileMode: Platform.FileDialog.SaveFile
        defaultSuffix: "txt"
        currentFile: folder + "/firmware-updater-log.txt"
        folder: Platform.StandardPaths.writableLocation(Platform.StandardPaths.DocumentsLocation)
        onAccepted: backend.qml_SaveLog(file, logView.plainText())
    }
}
