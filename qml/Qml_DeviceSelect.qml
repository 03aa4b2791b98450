import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls 1.5 as Controls1
import TreeViewModel 1.0

// The firmware selection dialog: search box, catalogue tree, details of the selected firmware.
// Every catalogue-derived text is shown as plain text: a string such as <img src=...> from the
// server must never be rendered, nor make Qt fetch the address it names.
ApplicationWindow {
    id: root
    objectName: "netFileDialog"

    property string detailMsgUrl: ""
    property int selectFileNumber: -1
    property alias searchInputText: gidRowSearch.text
    property bool created: false
    // The user has chosen a row since the dialog was made; until then a rebuilt tree leaves the
    // first show's state (Open and change history off, the hint instead of details) as it is.
    property bool hasSelection: false
    // The model is being rebuilt: its resets and re-expansions are no selection by the user.
    property bool rebuilding: false

    // The main window answers with the download popup.
    signal progressRequested()

    // Not modal: Qt drops the close of a window a modal one blocks, and closing the main window
    // must end a download. The main window shuts its own controls while this one is open.
    modality: Qt.NonModal
    width: 500
    height: 300
    minimumWidth: 500
    minimumHeight: 320
    visible: false
    // Bound, not assigned when the language changes: a dialog made later starts in the current
    // language.
    title: backend.uiTexts.dialogTitle

    Component.onCompleted: {
        created = true
        // The tree may have been built before the dialog was made.
        Qt.callLater(finishRebuild)
    }

    function openProgress() { progressRequested() }

    function runSearch() {
        rebuilding = true
        backend.qml_SearchButtonClicked(searchInputText)
        treeViewExpandAll()
        finishRebuild()
    }

    // After every rebuild the current row is a row that exists (the first), or none.
    function finishRebuild() {
        rebuilding = true
        gidTreeView.__listView.currentIndex = myModel.rowCount() > 0 ? 0 : -1
        rebuilding = false
        if (hasSelection)
            selectionChanged()
    }

    // Open, as the Open button does it.
    function openSelected() {
        if (selectFileNumber === -1)
            return
        openProgress()
        backend.qml_OpenNetFile(selectFileNumber)
    }

    function doOneTimeSearch(str) {
        searchInputText = str
        runSearch()
    }

    // Three category levels; expanding a leaf is harmless, so children are not told apart.
    function treeViewExpandAll() {
        var topCount = myModel.rowCount()
        for (var r = 0; r < topCount; ++r) {
            var first = myModel.index(r, 0)
            var firstCount = myModel.rowCount(first)
            gidTreeView.expand(first)
            for (var c = 0; c < firstCount; ++c) {
                var second = myModel.index(c, 0, first)
                var secondCount = myModel.rowCount(second)
                gidTreeView.expand(second)
                for (var g = 0; g < secondCount; ++g)
                    gidTreeView.expand(myModel.index(g, 0, second))
            }
        }
    }

    function isCategoryState(state) { return state === "" || state === undefined }

    function selectionChanged() {
        var state = myModel.data(gidTreeView.currentIndex, TreeViewModel.STATE)
        var isDevice = !isCategoryState(state)
        selectFileNumber = isDevice ? Number(state) : -1
        gidBtnOpenFireware.enabled = isDevice
        gidBtnDetailChangeList.enabled = isDevice
        backend.qml_TreeViewSelectDevice(isDevice, isDevice ? Number(state) : 0)
    }

    function activateByKey(event) {
        var index = gidTreeView.currentIndex
        if (!index.valid)
            return
        if (isCategoryState(myModel.data(index, TreeViewModel.STATE)))
            toggleCategory(index)
        else
            openSelected()
    }

    function toggleCategory(index) {
        if (myModel.data(index, TreeViewModel.STATE) !== "")
            return
        if (gidTreeView.isExpanded(index))
            gidTreeView.collapse(index)
        else
            gidTreeView.expand(index)
    }

    Connections {
        target: myModel
        function onModelAboutToBeReset() { root.rebuilding = true }
        // A search rebuilds and finishes in one go; a catalogue load ends here, a moment later.
        function onModelReset() { Qt.callLater(root.finishRebuild) }
    }

    Shortcut {
        sequence: "Escape"
        onActivated: root.close()
    }

    Connections {
        target: backend

        function onSigSetCurSelectDevice(msg) { gidTextCurSelectDevice.text = msg }

        function onSigSetDetailMsg(description, descChild, updateContent, updateContentChild,
                                   Remark, RemarkChild, msgUrl) {
            gidRecDetailMsg.descriptionHeading = description
            gidRecDetailMsg.description = descChild
            gidRecDetailMsg.updatesHeading = updateContent
            gidRecDetailMsg.updates = updateContentChild
            gidRecDetailMsg.remarkHeading = Remark
            gidRecDetailMsg.remark = RemarkChild
            root.detailMsgUrl = msgUrl
        }

    }

    Rectangle {
        id: gidBackGroundRec
        objectName: "gidBackGroundRec"
        anchors.fill: parent
        color: Qt.rgba(240 / 255, 240 / 255, 240 / 255, 1)

        Qml_FitText {
            id: gidTextCurSelectDevice
            objectName: "gidTextCurSelectDevice"
            x: 20
            y: 10
            width: root.width - 40
            font.pixelSize: 14
            minimumPixelSize: 11
            text: backend.uiTexts.selectedFirmware
        }

        Qml_SearchRow {
            id: gidRowSearch
            x: 20
            y: 34
            label: backend.uiTexts.search
            onSearchRequested: runSearch()
        }

        Rectangle {
            id: gidRecTreeList
            objectName: "gidRecTreeList"
            x: 20
            anchors.top: gidRowSearch.bottom
            anchors.topMargin: 10
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 10
            width: root.width / 2 - 30
            // The tree's focus ring, 3:1 against the dialog's grey.
            border.width: gidTreeView.activeFocus ? 2 : 1
            border.color: gidTreeView.activeFocus ? "#1a5fb4" : "#767676"
            color: "white"

            Controls1.TreeView {
                id: gidTreeView
                objectName: "gidTreeView"
                anchors.fill: parent
                model: myModel
                alternatingRowColors: true
                backgroundVisible: false
                headerVisible: false
                verticalScrollBarPolicy: Qt.ScrollBarAlwaysOn
                horizontalScrollBarPolicy: Qt.ScrollBarAlwaysOn
                Accessible.role: Accessible.Tree
                Accessible.name: backend.uiTexts.firmwareList

                Controls1.TableViewColumn {
                    title: "Name"
                    role: "name"
                    width: 600
                }

                // Each row whole (identity, version, date): the view scrolls sideways instead.
                itemDelegate: Text {
                    text: styleData.value === undefined ? "" : String(styleData.value)
                    textFormat: Text.PlainText
                    color: styleData.selected ? "white" : "black"
                    elide: Text.ElideNone
                    verticalAlignment: Text.AlignVCenter
                    Accessible.role: Accessible.TreeItem
                    Accessible.name: text
                    Accessible.selected: styleData.selected
                    Accessible.selectable: true
                }
                // The selected row in white on dark blue (8.6:1).
                rowDelegate: Rectangle {
                    height: 20
                    color: styleData.selected ? "#1a4f8b"
                                              : (styleData.alternate ? "#f5f5f5" : "white")
                }

                // Rows the view announces while it is being built or rebuilt are no selection.
                onCurrentIndexChanged: {
                    if (!root.created || root.rebuilding)
                        return
                    root.hasSelection = true
                    root.selectionChanged()
                }
                onDoubleClicked: root.toggleCategory(index)
                // Enter or a double click on a firmware opens it; Enter on a category folds it.
                onActivated: {
                    if (!root.isCategoryState(myModel.data(index, TreeViewModel.STATE)))
                        root.openSelected()
                }
                // Tab lands on the view itself; its rows take the keys.
                onActiveFocusChanged: {
                    if (activeFocus && !__listView.activeFocus)
                        Qt.callLater(function () { gidTreeView.__listView.forceActiveFocus() })
                }
                Keys.onReturnPressed: root.activateByKey(event)
                Keys.onEnterPressed: root.activateByKey(event)
            }
        }

        Qml_FirmwareDetails {
            id: gidRecDetailMsg
            anchors.right: parent.right
            anchors.rightMargin: 20
            anchors.top: gidRowSearch.bottom
            anchors.topMargin: 10
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 90
            width: root.width / 2 - 30
            hint: backend.uiTexts.chooseFirmwareHint
        }

        component DialogButton: Button {
            id: dialogButton
            // What the text needs, whatever the style's background asks for.
            readonly property real naturalWidth: implicitContentWidth + leftPadding + rightPadding
            contentItem: Qml_FitText {
                text: dialogButton.text
                font: dialogButton.font
                horizontalAlignment: Text.AlignHCenter
                color: dialogButton.enabled ? "black" : "#5e5e5e"
            }
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()
        }

        // Longer translations widen it leftwards, up to the panel's width; its right edge stays.
        DialogButton {
            id: gidBtnDetailChangeList
            objectName: "gidBtnDetailChangeList"
            width: Math.min(Math.max(100, naturalWidth), gidRecDetailMsg.width)
            height: 30
            anchors.right: gidRecDetailMsg.right
            anchors.top: gidRecDetailMsg.bottom
            anchors.topMargin: 10
            text: backend.uiTexts.updateDetails
            enabled: false
            onClicked: Qt.openUrlExternally(root.detailMsgUrl)
        }

        Row {
            id: gidRowButtons
            objectName: "gidRowButtons"
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 10
            anchors.horizontalCenter: gidRecDetailMsg.horizontalCenter
            spacing: 20

            // Both grow with their texts; the row stays centred under the panel.
            DialogButton {
                id: gidBtnOpenFireware
                objectName: "gidBtnOpenFireware"
                width: Math.min(Math.max(60, naturalWidth), gidRecDetailMsg.width / 2 - 10)
                height: 30
                text: backend.uiTexts.open
                enabled: false
                onClicked: root.openSelected()
            }

            DialogButton {
                id: gidBtnCancel
                objectName: "gidBtnCancel"
                width: Math.min(Math.max(60, naturalWidth), gidRecDetailMsg.width / 2 - 10)
                height: 30
                text: backend.uiTexts.cancel
                onClicked: root.close()
            }
        }
    }
}
