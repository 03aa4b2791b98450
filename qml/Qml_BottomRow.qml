import QtQuick 2.15

// The main window's bottom row: the language box, Help and Exit.
Item {
    id: bottomRow
    objectName: "item_bottom"

    property alias languageBox: comb_Language
    property alias helpText: bt_help.text
    property alias exitText: bt_exit.text
    // The language waits while an update writes.
    property bool busy: false

    signal helpRequested()
    signal exitRequested()

    height: 40

    Row {
        spacing: 47

        Qml_LanguageBox {
            id: comb_Language
            enabled: !bottomRow.busy
            onCurrentIndexChanged: backend.qml_LangageSelectChange(currentIndex)
            onActivated: backend.qml_LanguageChosen(index)
        }

        Qml_FwButton {
            id: bt_help
            objectName: "bt_help"
            text: "帮助"
            rowPixelSize: Math.min(fittingPixelSize, bt_exit.fittingPixelSize)
            onClicked: bottomRow.helpRequested()
        }

        Qml_FwButton {
            id: bt_exit
            objectName: "bt_exit"
            text: "退出"
            rowPixelSize: bt_help.rowPixelSize
            onClicked: bottomRow.exitRequested()
        }
    }
}
