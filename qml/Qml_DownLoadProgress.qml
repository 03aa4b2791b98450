import QtQuick 2.15
import QtQuick.Controls 2.15
import QtGraphicalEffects 1.15
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

            // The mask keeps the fill inside the rounded outline: round on the left at once,
            // straight on the right until it reaches the rounded end.
            contentItem: Item {
                implicitWidth: control.width
                implicitHeight: control.height

                Rectangle {
                    id: _rect
                    objectName: "_rect"
                    width: control.width - 4
                    height: control.height - 4
                    anchors.centerIn: parent
                    color: "transparent"
                    radius: 9
                    layer.enabled: true
                    layer.effect: OpacityMask {
                        maskSource: Rectangle {
                            width: _rect.width
                            height: _rect.height
                            radius: _rect.radius
                        }
                    }

                    Rectangle {
                        id: _childRect
                        objectName: "_childRect"
                        anchors.left: parent.left
                        width: control.visualPosition * _rect.width
                        height: control.height
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
