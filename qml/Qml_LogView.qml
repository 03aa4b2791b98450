import QtQuick 2.15
import QtQuick.Controls 2.15

// The main window's log: red and black lines, the newest in view, at most maxLines of them.
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
            }
        }
    }
}
