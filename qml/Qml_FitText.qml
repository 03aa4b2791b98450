import QtQuick 2.15
import QtQuick.Controls 2.15

// One line of text that keeps to its room: it shrinks down to minimumPixelSize, and a text still
// too wide is elided, with the whole text in a tooltip while the pointer rests on it.
Text {
    id: fitText

    // What the tooltip offers; empty while the whole text is shown.
    readonly property string toolTipText: truncated ? text : ""

    color: "black"
    verticalAlignment: Text.AlignVCenter
    elide: Text.ElideRight
    fontSizeMode: Text.HorizontalFit
    minimumPixelSize: 10
    textFormat: Text.PlainText

    HoverHandler { id: hover }
    ToolTip.visible: hover.hovered && fitText.truncated
    ToolTip.text: fitText.text
    ToolTip.delay: 400
}
