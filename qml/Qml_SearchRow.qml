import QtQuick 2.15

// The selection dialog's search: its label, the field and the search image. Enter in the field
// and a click on the image ask for the same search.
Row {
    id: gidRowSearch
    objectName: "gidRowSearch"

    property alias label: gidTextSearch.text
    property alias text: gidTextInputSearch.text

    signal searchRequested()

    spacing: 8

    Text {
        id: gidTextSearch
        objectName: "gidTextSearch"
        height: 20
        anchors.verticalCenter: parent.verticalCenter
        font.pixelSize: 14
        verticalAlignment: Text.AlignVCenter
        horizontalAlignment: Text.AlignHCenter
        textFormat: Text.PlainText
        text: "查找:"
        // It names the field instead.
        Accessible.ignored: true
    }

    Rectangle {
        id: gidRecSearchFrame
        objectName: "gidRecSearchFrame"
        width: 150
        height: 20
        anchors.verticalCenter: parent.verticalCenter
        // A focus ring 3:1 against the dialog's grey.
        border.color: gidTextInputSearch.activeFocus ? "#1a5fb4" : "#767676"
        border.width: gidTextInputSearch.activeFocus ? 2 : 1

        TextInput {
            id: gidTextInputSearch
            objectName: "gidTextInputSearch"
            anchors.fill: parent
            anchors.margins: 2
            font.pixelSize: 16
            clip: true
            selectByMouse: true
            activeFocusOnTab: true
            verticalAlignment: TextInput.AlignVCenter
            Accessible.role: Accessible.EditableText
            Accessible.name: gidTextSearch.text.replace(/[:：]\s*$/, "")
            Accessible.searchEdit: true
            onAccepted: searchRequested()
            onEditingFinished: focus = false
        }
    }

    Image {
        id: buttonImage
        objectName: "buttonImage"
        width: 20
        height: 20
        anchors.verticalCenter: parent.verticalCenter
        source: "qrc:/img/img_search.png"
        Accessible.role: Accessible.Button
        Accessible.name: gidTextSearch.text.replace(/[:：]\s*$/, "")
        Accessible.onPressAction: searchRequested()

        MouseArea {
            id: mouseArea
            objectName: "mouseArea"
            anchors.fill: parent
            hoverEnabled: true
            onPressed: buttonImage.source = "qrc:/img/img_search_down.png"
            onReleased: buttonImage.source = "qrc:/img/img_search.png"
            onEntered: buttonImage.source = "qrc:/img/img_search_over.png"
            onExited: buttonImage.source = "qrc:/img/img_search.png"
            onClicked: searchRequested()
        }
    }
}
