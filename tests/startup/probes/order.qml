import QtQml 2.15

// Records what the controller sends after the main window is loaded, in arrival order.
QtObject {
    property var seen: []

    property Connections listener: Connections {
        target: backend
        function onSiglangageChange() { seen.push("siglangageChange") }
        function onSigNetFileDialogLanguageChange() { seen.push("sigNetFileDialogLanguageChange") }
        function onSigNetFileDialogWindowsTitle() { seen.push("sigNetFileDialogWindowsTitle") }
        function onSigInitLangageComboBox(list, Len, CurentSelect) {
            seen.push("sigInitLangageComboBox:" + list.join("|") + ":" + Len + ":" + CurentSelect)
        }
        function onSigSetHelpBtnMeg(website) { seen.push("sigSetHelpBtnMeg:" + website) }
    }

    property Timer report: Timer {
        interval: 0
        running: true
        onTriggered: {
            console.log("SEEN " + seen.join(","))
            console.log("APPDIR " + appdir)
            console.log("MODEL " + (myModel !== null && myModel !== undefined))
            console.log("NETWORK " + backend.networkFirmwareEnabled())
            backend.windowsClose()
            Qt.quit()
        }
    }
}
