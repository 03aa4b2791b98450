import QtQuick 2.15
import QtQuick.Controls 2.15

// The accessories present, in the place of the identity line when there is more than one (or a
// pick is in force): each by its serial, then its identity, kind and "busy". The user picks the one
// Update writes with the mouse or the keyboard (arrows, then Space or Enter) and can clear the
// pick. Three rows show at once; more scroll.
FocusScope {
    id: accessoryList
    objectName: "accessoryList"

    property var accessories: backend.accessories
    property string header: backend.accessoryHeader
    property bool pickInForce: backend.accessoryPicked
    property string clearText: backend.uiTexts.clearPick
    // An update writes: the pick waits for it.
    property bool busy: false
    readonly property int rowHeight: 17
    // Greyed text, still at least 4.5:1 against the window's fill and the picked row's: 5.9:1 and
    // 5.3:1. Fading with opacity would take it below that.
    readonly property color dimmedText: "#5c5c5c"
    readonly property int visibleRows: Math.min(3, accessories.length)

    // The row the keyboard is on: a new list puts it back on the picked row, else where it was.
    property int cursor: 0

    function restoreCursor() {
        for (var i = 0; i < accessories.length; ++i) {
            if (accessories[i].picked) {
                rows.currentIndex = i
                return
            }
        }
        rows.currentIndex = Math.max(0, Math.min(cursor, accessories.length - 1))
    }

    function moveCursor(step) {
        rows.currentIndex = Math.max(0, Math.min(rows.currentIndex + step, accessories.length - 1))
        cursor = rows.currentIndex
    }

    function pick(index) {
        cursor = index
        var accessory = accessories[index]
        if (!busy && accessory && accessory.pickable)
            backend.qml_PickAccessory(accessory.key)
    }

    height: 15 + visibleRows * rowHeight
    onAccessoriesChanged: Qt.callLater(restoreCursor)

    Qml_FitText {
        id: headerText
        objectName: "accessoryHeader"
        width: parent.width - (clearButton.visible ? clearButton.width + 6 : 0)
        height: 14
        font.pixelSize: 11
        font.family: "Arial"
        color: "#404040"
        minimumPixelSize: 9
        text: header
        // It names the list instead.
        Accessible.ignored: true
    }

    Text {
        id: clearButton
        objectName: "clearPick"
        anchors.right: parent.right
        anchors.rightMargin: 2
        height: 14
        visible: pickInForce
        verticalAlignment: Text.AlignVCenter
        font.pixelSize: 11
        font.family: "Arial"
        font.underline: clearMouse.containsMouse || activeFocus
        color: busy ? dimmedText : "#1a5fb4"
        text: clearText
        activeFocusOnTab: visible && !busy
        Accessible.role: Accessible.Button
        Accessible.name: clearText
        Accessible.onPressAction: backend.qml_ClearPick()
        Keys.onSpacePressed: backend.qml_ClearPick()
        Keys.onReturnPressed: backend.qml_ClearPick()

        MouseArea {
            id: clearMouse
            anchors.fill: parent
            hoverEnabled: true
            enabled: !busy
            cursorShape: Qt.PointingHandCursor
            onClicked: backend.qml_ClearPick()
        }
    }

    ListView {
        id: rows
        objectName: "accessoryRows"
        y: 15
        width: parent.width
        height: visibleRows * rowHeight
        clip: true
        focus: true
        activeFocusOnTab: true
        Accessible.role: Accessible.List
        Accessible.name: header
        boundsBehavior: Flickable.StopAtBounds
        model: accessories
        currentIndex: 0
        highlightMoveDuration: 0
        // Over the rows: the picked row's fill does not hide the keyboard's frame.
        highlight: Rectangle {
            z: 2
            color: "transparent"
            border.color: rows.activeFocus ? "#1a5fb4" : "transparent"
        }
        ScrollBar.vertical: ScrollBar {
            policy: accessories.length > 3 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        }
        Keys.onUpPressed: moveCursor(-1)
        Keys.onDownPressed: moveCursor(1)
        Keys.onSpacePressed: pick(currentIndex)
        Keys.onReturnPressed: pick(currentIndex)
        Keys.onEnterPressed: pick(currentIndex)

        delegate: Item {
            objectName: "accessoryRow" + index
            width: rows.width - (accessories.length > 3 ? 10 : 0)
            height: rowHeight
            // Read as shown; the picked one is the checked one.
            Accessible.role: Accessible.RadioButton
            Accessible.name: modelData.serial + " " + modelData.detail
            Accessible.checkable: true
            Accessible.checked: modelData.picked
            Accessible.selected: ListView.isCurrentItem

            Rectangle {
                anchors.fill: parent
                color: modelData.picked ? "#d6ecd2" : "transparent"
            }

            // A filled dot marks the accessory Update writes.
            Rectangle {
                x: 3
                anchors.verticalCenter: parent.verticalCenter
                width: 8
                height: 8
                radius: 4
                border.color: "#404040"
                color: modelData.picked ? "#2e7d32" : "transparent"
            }

            Qml_FitText {
                objectName: "accessorySerial"
                x: 16
                width: 104
                height: parent.height
                font.pixelSize: 11
                font.family: "Arial"
                font.bold: modelData.picked
                font.italic: !modelData.pickable
                color: modelData.pickable ? "black" : dimmedText
                minimumPixelSize: 9
                text: modelData.serial
            }

            Qml_FitText {
                objectName: "accessoryDetail"
                x: 124
                width: parent.width - x - 2
                height: parent.height
                font.pixelSize: 11
                font.family: "Arial"
                font.italic: !modelData.pickable
                color: modelData.pickable ? "#404040" : dimmedText
                minimumPixelSize: 9
                text: modelData.detail
            }

            MouseArea {
                anchors.fill: parent
                enabled: !busy
                onClicked: {
                    rows.currentIndex = index
                    cursor = index
                    rows.forceActiveFocus()
                    pick(index)
                }
            }
        }
    }
}
