import QtQuick 2.15
import QtQuick.Controls 2.15

// The main window's progress line: a green bar with the percentage and time left on it.
Item {
    id: progressLine
    objectName: "item_Prog"

    // 0 to 1.
    property real value: 0
    property alias text: progressText.text
    // How the last update ended: 0 none (or a new image since), 1 done, 2 failed. An ended update
    // fills the bar (red when it failed), so that its message reads as the outcome, not progress.
    property int outcome: 0
    readonly property real filled: outcome !== 0 ? 1 : update_Prog.visualPosition
    // The log's last lines and its count of lines; what the bar says of an update that ended: its
    // outcome and the lines logged since it started (why it failed).
    property var recentLines: []
    property int shownLines: 0
    property int linesAtStart: 0
    property string spoken: ""
    // Off while a question or another window has the keyboard: the bar never takes it from them.
    property bool mayTakeFocus: true

    function outcomeWords() {
        var since = Math.min(Math.max(shownLines - linesAtStart, 0), recentLines.length)
        return [text].concat(recentLines.slice(recentLines.length - since)).join(". ")
    }

    // A screen reader speaks what takes the focus (Orca drops Qt's name changes): the bar takes it
    // when an update starts; at its end, once its last lines are in, the outcome does.
    function followUpdate(running) {
        if (running) {
            linesAtStart = shownLines
            spoken = ""
            if (mayTakeFocus)
                update_Prog.forceActiveFocus(Qt.TabFocusReason)
        } else {
            outcomeSettling.restart()
        }
    }

    onRecentLinesChanged: {
        if (outcomeSettling.running)
            outcomeSettling.restart()
        else if (spoken !== "")
            spoken = outcomeWords()
    }

    // The reason comes a moment after the update's end.
    Timer {
        id: outcomeSettling
        interval: 300
        onTriggered: {
            progressLine.spoken = progressLine.outcomeWords()
            if (progressLine.mayTakeFocus)
                outcomeFocus.forceActiveFocus(Qt.TabFocusReason)
        }
    }

    // The outcome as one text in the bar's place: it takes the focus when an update ends.
    Item {
        id: outcomeFocus
        objectName: "outcomeFocus"
        anchors.fill: parent
        activeFocusOnTab: progressLine.spoken !== ""
        Accessible.role: Accessible.StaticText
        Accessible.name: progressLine.spoken
        Accessible.ignored: progressLine.spoken === ""
    }
    onOutcomeChanged: if (outcome === 0) spoken = ""

    height: 25

    ProgressBar {
        id: update_Prog
        objectName: "update_Prog"
        anchors.fill: parent
        // In percent, as a screen reader tells it; the bar's own text is its description.
        to: 100
        value: progressLine.value * 100
        focusPolicy: Qt.TabFocus
        Accessible.name: backend.uiTexts.progressName
        Accessible.description: progressText.text
        background: Rectangle {
            implicitWidth: update_Prog.width
            implicitHeight: update_Prog.height
            // Its focus ring, 3:1 against the window.
            border.color: update_Prog.activeFocus || outcomeFocus.activeFocus ? "#1a5fb4"
                                                                               : "#767676"
            border.width: update_Prog.activeFocus || outcomeFocus.activeFocus ? 2 : 1
            color: Qt.rgba(240 / 255, 240 / 255, 240 / 255, 1)
            radius: 3
        }
        contentItem: Item {
            Rectangle {
                objectName: "update_Prog_fill"
                width: progressLine.filled * update_Prog.width
                height: update_Prog.height
                radius: 2
                color: progressLine.outcome === 2 ? "#c62828" : "green"
            }
        }
    }

    // The text is dark over the bar's empty part, and a white copy is clipped to the fill, so
    // that every character reads on grey as on green.
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
        Accessible.ignored: true
    }

    Item {
        objectName: "progressTextOnFill"
        width: progressLine.filled * update_Prog.width
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
            Accessible.ignored: true
        }
    }
}
