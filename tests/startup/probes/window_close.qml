import QtQuick 2.15
import QtQuick.Window 2.15

// Closing the window by its title bar: the closing handler stops the engine.
Window {
    id: window
    visible: true
    width: 100
    height: 100
    onClosing: backend.windowsClose()
    Timer {
        interval: 300
        running: true
        onTriggered: window.close()
    }
}
