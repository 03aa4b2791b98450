import QtQuick 2.15
import QtQuick.Controls 2.15

// A question over the main window with two answers. The safe answer is the default: it has the
// focus, and Esc chooses it too.
Dialog {
    id: question

    property alias text: questionText.text
    property alias safeText: safeButton.text
    property alias riskyText: riskyButton.text
    property bool answered: false

    signal safeChosen()
    signal riskyChosen()

    function answer(risky) {
        if (answered)
            return
        answered = true
        close()
        if (risky)
            riskyChosen()
        else
            safeChosen()
    }

    modal: true
    closePolicy: Popup.CloseOnEscape
    // Read out with the dialog, before its buttons.
    Accessible.role: Accessible.Dialog
    Accessible.name: backend.uiTexts.dialogTitle
    Accessible.description: questionText.text
    anchors.centerIn: Overlay.overlay
    width: Math.min(480, (parent ? parent.width : 480) - 40)
    padding: 16
    topPadding: 18

    contentItem: Text {
        id: questionText
        objectName: "questionText"
        wrapMode: Text.WordWrap
        font.pixelSize: 14
        textFormat: Text.PlainText
    }

    footer: Item {
        implicitHeight: answers.height + 24

        Row {
            id: answers
            anchors.right: parent.right
            anchors.rightMargin: 16
            anchors.top: parent.top
            spacing: 10
            // Two long answers share the width rather than run past the edge.
            readonly property real room: question.width - 32 - spacing

            component Answer: Button {
                id: answerButton
                height: 30
                width: Math.min(implicitWidth, answers.room / 2)
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                contentItem: Qml_FitText {
                    text: answerButton.text
                    font: answerButton.font
                    horizontalAlignment: Text.AlignHCenter
                }
            }

            Answer {
                id: riskyButton
                objectName: "riskyButton"
                onClicked: question.answer(true)
            }
            Answer {
                id: safeButton
                objectName: "safeButton"
                onClicked: question.answer(false)
            }
        }
    }

    // As if reached by Tab: the focus ring shows.
    onOpened: safeButton.forceActiveFocus(Qt.TabFocusReason)
    // Esc, or the window taking the question away, counts as the safe answer.
    onClosed: answer(false)
}
