import QtQml 2.15

// What the Exit button does, once the engine's loop runs, then again.
QtObject {
    property Timer exit: Timer {
        interval: 300
        running: true
        onTriggered: {
            backend.windowsClose()
            console.log("FIRST_CLOSE_DONE")
            backend.windowsClose()
            console.log("SECOND_CLOSE_DONE")
            Qt.quit()
        }
    }
}
