import QtQuick 2.15
import QtQuick.Controls 2.15

// The look the main window's five buttons share.
Button {
    id: fwButton

    // The size its text fits at; a row gives all its buttons the smallest of theirs.
    readonly property real fittingPixelSize: Math.max(9, Math.min(14, Math.floor(
        14 * (width - leftPadding - rightPadding) / Math.max(1, fullSize.advanceWidth))))
    property real rowPixelSize: fittingPixelSize

    width: 88
    height: 25
    font.pixelSize: rowPixelSize
    font.family: "Arial"
    // Longer translations get the button's whole width before they shrink.
    leftPadding: 3
    rightPadding: 3
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    TextMetrics {
        id: fullSize
        font.family: "Arial"
        font.pixelSize: 14
        text: fwButton.text
    }

    contentItem: Qml_FitText {
        text: fwButton.text
        font: fwButton.font
        minimumPixelSize: 9
        horizontalAlignment: Text.AlignHCenter
        // Greyed, yet 4.5:1 on the button's grey.
        color: fwButton.enabled ? "black" : "#5e5e5e"
    }
}
