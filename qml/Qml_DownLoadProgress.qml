import QtQuick 2.15
import QtQuick.Controls 2.15

// Placeholder until the download popup lands.
ApplicationWindow {
    id: popupWindow
    property alias progressValue: control.value
    width: 500
    height: 100
    visible: false
    flags: Qt.FramelessWindowHint
    ProgressBar { id: control; from: 0; to: 100; value: 20 }
}
