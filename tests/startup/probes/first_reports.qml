import QtQml 2.15

// Waits for the engine's first reports about a device plugged in before start, then prints them.
QtObject {
    property int status: 0
    property bool connected: false

    property Connections listener: Connections {
        target: backend
        function onSigUsbConnectStatus(Status) { status = Status }
        function onSigOutputMsg(color, OutputMsg) {
            if (OutputMsg.indexOf("连接设备成功") >= 0)
                connected = true
        }
    }

    property Timer poll: Timer {
        interval: 20
        repeat: true
        running: true
        property int ticks: 0
        onTriggered: {
            var id = backend.qmlGetDeviceID()
            if ((status === 1 && connected && id !== "*") || ++ticks > 500) {
                console.log("REPORTS status=" + status + " connected=" + (connected ? 1 : 0)
                            + " id=" + id)
                backend.windowsClose()
                Qt.quit()
            }
        }
    }
}
