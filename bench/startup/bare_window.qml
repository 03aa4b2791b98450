// The baseline window: the main window's size, modules and background, and nothing else.
import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Dialogs 1.3
import QtQuick.Controls 2.15
import Qt.labs.platform 1.1 as Platform

ApplicationWindow {
    width: 575
    height: 350
    minimumWidth: 575
    maximumWidth: 575
    minimumHeight: 350
    maximumHeight: 350
    visible: true
    title: "bare"

    Rectangle {
        anchors.fill: parent
        color: Qt.rgba(240 / 255, 240 / 255, 240 / 255, 1)
    }
}
