import QtQuick 2.15
import QtQuick.Controls 2.15

// The main window's language box: the controller's language names, each fitted to the box.
ComboBox {
    id: comb_Language
    objectName: "comb_Language"

    // The first count names of list, with the one at current selected.
    function setLanguages(list, count, current) {
        diskModel.clear()
        for (var i = 0; i < count; ++i)
            diskModel.append({ "text": list[i] })
        currentIndex = current
    }

    width: 91
    height: 25
    font.pixelSize: 14
    font.family: "Arial"
    currentIndex: 0
    textRole: "text"
    // Labelled, not named by the language it shows.
    Accessible.name: backend.uiTexts.languageLabel
    Accessible.description: displayText
    model: ListModel { id: diskModel }
    // The arrow keeps the right padding to itself; the name has the rest.
    leftPadding: 6
    rightPadding: 6 + 12 + 4

    contentItem: Qml_FitText {
        objectName: "comb_Language_text"
        text: comb_Language.displayText
        font: comb_Language.font
        minimumPixelSize: 10
        // Greyed like the buttons while the box is off (during an update).
        color: comb_Language.enabled ? "black" : "#6b6b6b"
    }

    delegate: ItemDelegate {
        id: languageRow
        width: comb_Language.width
        highlighted: comb_Language.highlightedIndex === index
        Accessible.name: model.text
        // The highlighted row in white on dark blue (8.6:1), the others black on white.
        background: Rectangle {
            color: languageRow.highlighted ? "#1a4f8b" : "white"
        }
        contentItem: Qml_FitText {
            text: model.text
            font.pixelSize: 14
            font.family: "Arial"
            color: languageRow.highlighted ? "white" : "black"
        }
    }

    indicator: Canvas {
        id: comboArrow
        x: comb_Language.width - width - 6
        y: comb_Language.topPadding + (comb_Language.availableHeight - height) / 2
        width: 12
        height: 8
        contextType: "2d"

        Connections {
            target: comb_Language
            function onPressedChanged() { comboArrow.requestPaint() }
        }
        // Greyed with the text while the box is off.
        readonly property bool off: !comb_Language.enabled
        onOffChanged: requestPaint()

        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            ctx.moveTo(0, 0)
            ctx.lineTo(width, 0)
            ctx.lineTo(width / 2, height)
            ctx.closePath()
            ctx.fillStyle = !comb_Language.enabled ? "#6b6b6b"
                          : comb_Language.pressed ? "#505050" : "#000000"
            ctx.fill()
        }
    }
}
