import QtQuick 2.15
import QtQuick.Controls 2.15
import TreeViewModel 1.0

// The download popup: a card naming the firmware, a green bar with the percentage in large digits,
// and Cancel. It is placed, fed and hidden by the main window; Cancel, Esc and closing it end the
// download, whose closing report then hides it.
ApplicationWindow {
    id: popupWindow
    objectName: "gidDownloadProgress"

    property alias progressValue: control.value

    width: 500
    height: 150
    visible: false
    flags: Qt.FramelessWindowHint
    // Not modal: Qt drops the close of a window a modal one blocks, and closing the main window
    // must end a download. The main window shuts its own controls while this one is open.
    modality: Qt.NonModal
    // Square, as its window: without a compositor (and on the software renderer) a transparent
    // window shows black where rounded corners would leave it uncovered.
    color: "white"
    // Named by what it fetches; the bar tells the percentage.
    title: backend.downloadText !== "" ? backend.downloadText : backend.uiTexts.downloadName

    function cancelDownload() { backend.qml_CancelDownload() }

    onClosing: cancelDownload()

    Shortcut {
        sequence: "Escape"
        onActivated: popupWindow.cancelDownload()
    }

    Rectangle {
        id: card
        objectName: "card"
        anchors.fill: parent
        color: "white"
        border.color: "gray"
        border.width: 3

        Qml_FitText {
            id: fetchedText
            objectName: "fetchedText"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            anchors.topMargin: 12
            horizontalAlignment: Text.AlignHCenter
            font.pixelSize: 14
            text: backend.downloadText
        }

        ProgressBar {
            id: control
            objectName: "control"
            Accessible.name: popupWindow.title
            Accessible.description: control.value + "%"
            height: 48
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            y: 40
            from: 0
            to: 100
            value: 20

            background: Rectangle {
                implicitWidth: control.width
                implicitHeight: control.height
                color: "transparent"
                border.color: "#000000"
                border.width: 2
                radius: 11
            }

            // The fill keeps inside the rounded outline: a rounded bar of the whole length, shown
            // up to the value, is round on the left at once and straight on the right until it
            // reaches the rounded end. A clip rather than a mask shader, which not every renderer
            // draws.
            contentItem: Item {
                implicitWidth: control.width
                implicitHeight: control.height

                Item {
                    id: fill
                    objectName: "fill"
                    x: 2
                    y: 2
                    width: control.visualPosition * (control.width - 4)
                    height: control.height - 4
                    clip: true

                    Rectangle {
                        width: control.width - 4
                        height: parent.height
                        radius: 9
                        color: Qt.rgba(69 / 255, 183 / 255, 121 / 255, 1)
                    }
                }
            }

            Text {
                id: percentText
                objectName: "percentText"
                anchors.centerIn: parent
                z: 100
                font.pixelSize: 30
                text: control.value + "%"
            }
        }

        Button {
            id: cancelButton
            objectName: "cancelButton"
            anchors.right: control.right
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 10
            width: Math.max(80, implicitContentWidth + leftPadding + rightPadding)
            height: 28
            text: backend.uiTexts.cancel
            onClicked: popupWindow.cancelDownload()
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
        }
    }
}
