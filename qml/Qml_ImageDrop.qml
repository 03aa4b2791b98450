import QtQuick 2.15

// A .bin file dropped on the window opens as if chosen in the file dialog; while the window waits
// (an update, another window) nothing is taken.
DropArea {
    id: dropArea
    objectName: "dropArea"

    property bool accepting: true

    signal imageDropped(string url)

    // The one local .bin file a drop carries, as a file: URL; empty for anything else.
    function droppedImage(urls) {
        if (!urls || urls.length !== 1)
            return ""
        var url = String(urls[0])
        return /^file:.*\.bin$/i.test(url) ? url : ""
    }

    onEntered: drag.accepted = accepting && droppedImage(drag.urls) !== ""
    onDropped: {
        var url = droppedImage(drop.urls)
        if (!accepting || url === "")
            return
        drop.accept(Qt.CopyAction)
        imageDropped(url)
    }
}
