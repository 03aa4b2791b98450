import QtQuick 2.15
import QtQuick.Controls 2.15

// The top of the main window: the connection status, the network, Open and Update buttons, and
// under them the connected device's identity, in the free band above the log; with several
// accessories, their list in its place, which pushes the log down.
Item {
    id: statusRow
    objectName: "item_top"

    property bool networkShown: false
    // The buttons wait while an update writes.
    property bool busy: false
    property string identityText: ""
    property alias statusIcon: img_ConnectStatus.source
    property alias networkText: bt_netFile.text
    property alias openText: bt_OpenFile.text
    property alias updateText: bt_Update.text

    signal networkFirmwareRequested()
    signal openRequested()
    signal updateRequested()

    // The list stands in for the identity line with several accessories, or a pick in force.
    readonly property bool listShown: accessoryList.accessories.length > 1
                                      || accessoryList.pickInForce

    height: listShown ? accessoryList.y + accessoryList.height + 3 : 40

    // With the network button the three buttons share the log's width (362) with the status
    // image: 91 + 3 x 84 + 3 x 6.
    Row {
        id: topRow
        objectName: "topRow"
        spacing: networkShown ? 6 : 48

        Image {
            id: img_ConnectStatus
            objectName: "img_ConnectStatus"
            width: 91
            height: 25

            HoverHandler { id: statusHover }
            ToolTip.visible: statusHover.hovered && identityText !== ""
            ToolTip.text: identityText
        }

        Qml_FwButton {
            id: bt_netFile
            objectName: "bt_netFile"
            width: 84
            text: "网络固件"
            visible: networkShown
            enabled: !busy
            onClicked: networkFirmwareRequested()
        }

        Qml_FwButton {
            id: bt_OpenFile
            objectName: "bt_OpenFile"
            width: networkShown ? 84 : 88
            text: "打开文件"
            enabled: !busy
            onClicked: openRequested()
        }

        Qml_FwButton {
            id: bt_Update
            objectName: "bt_Update"
            width: networkShown ? 84 : 88
            text: "更新"
            enabled: !busy
            onClicked: updateRequested()
        }
    }

    Qml_FitText {
        id: deviceIdentity
        objectName: "deviceIdentity"
        x: 0
        y: 26
        width: 362
        height: 13
        font.pixelSize: 11
        font.family: "Arial"
        color: "#404040"
        minimumPixelSize: 9
        visible: !listShown
        text: identityText
    }

    Qml_AccessoryList {
        id: accessoryList
        y: 26
        width: 362
        visible: listShown
        enabled: listShown
        busy: statusRow.busy
    }
}
