import QtQuick 2.15
import QtQuick.Controls 2.15

// The selection dialog's details of the selected firmware: description, remarks and updates,
// each a heading over its body, scrolled when they outgrow the panel. Plain text only: the
// bodies come from the catalogue.
Rectangle {
    id: gidRecDetailMsg
    objectName: "gidRecDetailMsg"

    property alias descriptionHeading: gidTextMsg_Description.text
    property alias description: gidTextMsg_DescriptionChild.text
    property alias remarkHeading: gidTextMsg_Remark.text
    property alias remark: gidTextMsg_RemarkChild.text
    property alias updatesHeading: gidTextMsg_upeateContent.text
    property alias updates: gidTextMsg_upeateContentchild.text
    // Shown alone until a firmware is selected: no details rather than made-up ones.
    property alias hint: gidTextHint.text
    readonly property bool showsHint: description === "" && remark === "" && updates === ""

    border.width: activeFocus ? 2 : 1
    border.color: activeFocus ? "#1a5fb4" : "#767676"
    color: "white"
    clip: true
    // One text for a screen reader, reached by Tab like the rest.
    activeFocusOnTab: true
    Accessible.role: Accessible.StaticText
    Accessible.name: backend.uiTexts.detailsName
    Accessible.description: showsHint ? hint
                                      : [descriptionHeading, description, remarkHeading, remark,
                                         updatesHeading, updates].filter(function (part) {
                                             return part !== ""
                                         }).join("\n")

    // Its width, like a body's, is the panel's less the margins: long labels wrap.
    component Heading: Text {
        x: 10
        wrapMode: Text.WordWrap
        font.pixelSize: 14
        font.family: "Microsoft Yahei"
        color: Qt.rgba(51 / 255, 51 / 255, 51 / 255, 1)
        textFormat: Text.PlainText
    }

    // Its width is set where it is used: the panel's width less the two margins.
    component Body: Text {
        x: 10
        font.pixelSize: 12
        font.family: "Microsoft Yahei"
        color: Qt.rgba(102 / 255, 102 / 255, 102 / 255, 1)
        wrapMode: Text.WordWrap
        textFormat: Text.PlainText
    }

    Text {
        id: gidTextHint
        objectName: "gidTextHint"
        x: 10
        y: 10
        width: parent.width - 20
        visible: gidRecDetailMsg.showsHint
        wrapMode: Text.WordWrap
        font.pixelSize: 13
        color: Qt.rgba(102 / 255, 102 / 255, 102 / 255, 1)
        textFormat: Text.PlainText
    }

    ScrollView {
        id: gidScrollDetail
        visible: !gidRecDetailMsg.showsHint
        objectName: "gidScrollDetail"
        anchors.fill: parent
        ScrollBar.vertical.policy: ScrollBar.AlwaysOn
        // Wrapped bodies follow the panel's width; only vertical scrolling is needed.
        contentWidth: availableWidth

        Column {
            id: gidColumnDetail
            objectName: "gidColumnDetail"
            spacing: 5
            enabled: false

            Heading {
                id: gidTextMsg_Description
                objectName: "gidTextMsg_Description"
                width: gidRecDetailMsg.width - 20
                text: ""
            }
            Body {
                id: gidTextMsg_DescriptionChild
                objectName: "gidTextMsg_DescriptionChild"
                width: gidRecDetailMsg.width - 20
                text: ""
            }
            Heading {
                id: gidTextMsg_Remark
                objectName: "gidTextMsg_Remark"
                width: gidRecDetailMsg.width - 20
                text: ""
            }
            Body {
                id: gidTextMsg_RemarkChild
                objectName: "gidTextMsg_RemarkChild"
                width: gidRecDetailMsg.width - 20
                text: ""
            }
            Heading {
                id: gidTextMsg_upeateContent
                objectName: "gidTextMsg_upeateContent"
                width: gidRecDetailMsg.width - 20
                text: ""
            }
            Body {
                id: gidTextMsg_upeateContentchild
                objectName: "gidTextMsg_upeateContentchild"
                width: gidRecDetailMsg.width - 20
                text: ""
            }
        }
    }
}
