import QtQuick 2.15
import QtQuick.Controls 2.15
import TreeViewModel 1.0

// The download popup: a rounded card with a green bar and the percentage in large digits.
// It is placed, fed and hidden by the main window and does nothing of its own.
ApplicationWindow {
    id: popupWindow
    objectName: "gidDownloadProgress"

    property alias progressValue: control.value

    width: 500
    height: 100
    visible: false
    flags: Qt.FramelessWindowHint
    modality: Qt.ApplicationModal
    color: Qt.rgba(0, 0, 0, 0)

    Rectangle {
        id: card
        objectName: "card"
        anchors.fill: parent
        color: "white"
        border.color: "gray"
        border.width: 3
        radius: 15

        ProgressBar {
            id: control
            objectName: "control"
            height: 48
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            anchors.verticalCenter: parent.verticalCenter
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
    }
}
