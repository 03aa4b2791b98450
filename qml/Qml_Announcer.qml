import QtQuick 2.15

// Says a short text to a screen reader without moving the focus: a notification that shows
// itself. Qt's bridge drops alert events, but Orca speaks a notification as it appears.
Item {
    id: announcer

    function say(message) {
        alert.visible = false
        alert.text = message
        alert.visible = true
        hide.restart()
    }

    width: 1
    height: 1

    Text {
        id: alert
        objectName: "announcement"
        visible: false
        // Off the visible area: read, not shown.
        opacity: 0
        Accessible.role: Accessible.Notification
        Accessible.name: text
    }

    Timer {
        id: hide
        interval: 3000
        onTriggered: alert.visible = false
    }
}
