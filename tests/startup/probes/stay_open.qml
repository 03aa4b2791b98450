import QtQml 2.15

// Says when the controller is built and the window loaded, then keeps running until killed.
QtObject {
    property Timer ready: Timer {
        interval: 0
        running: true
        onTriggered: console.log("READY")
    }
}
