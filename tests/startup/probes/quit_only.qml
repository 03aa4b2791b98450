import QtQml 2.15

// The application ends without anyone stopping the engine first.
QtObject {
    property Timer quit: Timer {
        interval: 300
        running: true
        onTriggered: Qt.quit()
    }
}
