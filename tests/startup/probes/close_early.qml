import QtQml 2.15

// Closing while the engine still sleeps through its first second.
QtObject {
    Component.onCompleted: {
        backend.windowsClose()
        console.log("FIRST_CLOSE_DONE")
        Qt.quit()
    }
}
