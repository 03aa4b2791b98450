import QtQuick 2.15
import QtQuick.Controls 2.15

// The main window's log: red and black lines, the newest in view, at most maxLines of them.
Item {
    id: logView
    objectName: "item_TextOut"

    // Older lines make way for new ones beyond this.
    readonly property int maxLines: 1000
    readonly property ScrollBar scrollBar: scrollView.ScrollBar.vertical
    // The last lines shown, without their time stamps, and how many were shown in all: what a
    // screen reader is told of an update's end.
    property var recentLines: []
    property int shownLines: 0

    // Message texts may hold file names and catalogue strings: show them literally, never as markup.
    function escapeHtml(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
                           .replace(/"/g, "&quot;").replace(/'/g, "&#39;")
    }

    // Other colours are not shown, but scroll to the newest line all the same. An error is marked
    // besides its colour, and its red reads 5.6:1 on white.
    function append(color, message) {
        if (color === "red" || color === "black")
            outputTextArea.append("<span style='color: " + (color === "red" ? "#c62828" : "black")
                                  + "; font-family: Arial; font-size: 18px;'>"
                                  + (color === "red" ? "\u2717 " : "") + escapeHtml(message)
                                  + "</span>")
        if (color === "red" || color === "black")
        {
            recentLines = recentLines.concat([String(message).replace(/^\[[0-9:]+\] /, "")])
                                     .slice(-4)
            ++shownLines
        }
        scrollBar.position = 1.0 - scrollBar.size
        trim()
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
        // The log's focus ring, 3:1 against the window.
        border.color: outputTextArea.activeFocus ? "#1a5fb4" : "#767676"
        border.width: outputTextArea.activeFocus ? 2 : 1

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
                // Never under the scroll bar.
                rightPadding: scrollView.ScrollBar.vertical.width + 2
                textFormat: Text.RichText
                font.family: "Arial"
                font.pointSize: 16
                color: "blue"
                readOnly: true
                activeFocusOnTab: true
                Accessible.name: backend.uiTexts.logName
                // At word boundaries; only a word longer than the line (a path) breaks inside.
                wrapMode: TextEdit.Wrap
                selectByMouse: true
                mouseSelectionMode: TextEdit.SelectCharacters
            }
        }
    }
}
