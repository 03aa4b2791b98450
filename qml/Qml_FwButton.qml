import QtQuick 2.15
import QtQuick.Controls 2.15

// The look the main window's five buttons share.
Button {
    id: fwButton

    width: 88
    height: 25
    font.pixelSize: 14
    font.family: "Arial"
    // Longer translations get the button's whole width before they shrink.
    leftPadding: 3
    rightPadding: 3
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()
    contentItem: Qml_FitText {
        text: fwButton.text
        font: fwButton.font
        minimumPixelSize: 9
        horizontalAlignment: Text.AlignHCenter
        // Greyed, yet 4.5:1 on the button's grey.
        color: fwButton.enabled ? "black" : "#5e5e5e"
    }
}
