import QtQml 2.15

// Says when the controller is built and the window loaded, then keeps running until killed; says
// which file a second copy handed over.
QtObject {
    function openImage(url) {
        console.log("OPENED " + url)
    }

    property Timer ready: Timer {
        interval: 0
        running: true
        onTriggered: console.log("READY")
    }
}
