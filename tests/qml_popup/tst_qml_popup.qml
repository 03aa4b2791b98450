import QtQuick 2.15
import QtTest 1.15
import "qrc:/"

// The download popup as drawn: the bar spans x 20..480, y 40..88 of the 500 x 150 card; its
// rounded inner area, where the green fill grows, spans x 22..478, y 42..86 (radius 9).
TestCase {
    id: testCase
    name: "DownloadProgressPopup"
    when: windowShown

    property var popup: null

    Component {
        id: popupComponent
        Qml_DownLoadProgress { }
    }

    function init() {
        popup = createTemporaryObject(popupComponent, testCase)
        popup.visible = true
        waitForRendering(popup.contentItem)
    }

    function show(value) {
        popup.progressValue = value
        waitForRendering(popup.contentItem)
        return grabImage(popup.contentItem)
    }

    function isFill(image, x, y) {
        var c = image.pixel(x, y)
        return Math.abs(c.r * 255 - 69) < 12 && Math.abs(c.g * 255 - 183) < 12
                && Math.abs(c.b * 255 - 121) < 12
    }

    function test_window() {
        compare(popup.width, 500)
        compare(popup.height, 150)
        // Opaque and square like its card: a transparent window shows black corners where no
        // compositor blends it.
        compare(popup.color.a, 1)
        compare(findChild(popup, "card").radius, 0)
        compare(popup.modality, Qt.NonModal) // the main window shuts its controls instead
        verify(popup.flags & Qt.FramelessWindowHint)
        compare(popup.progressValue, 20, "initial value")
    }

    function test_fill_data() {
        // Each row: points that must be green, points that must not be.
        return [
            { tag: "0", value: 0, text: "0%", fill: [], empty: [[24, 64], [100, 64], [470, 64]] },
            { tag: "50", value: 50, text: "50%",
              fill: [[24, 64], [200, 64], [247, 44], [247, 84]],
              // straight cut on the right, rounded corner on the left
              empty: [[254, 44], [300, 64], [470, 64], [23, 43], [23, 85]] },
            { tag: "100", value: 100, text: "100%",
              fill: [[24, 64], [200, 64], [300, 64], [476, 64]],
              empty: [[23, 43], [23, 85], [477, 43], [477, 85]] },
        ]
    }

    function test_fill(data) {
        var image = show(data.value)
        compare(findChild(popup, "percentText").text, data.text)
        for (var i = 0; i < data.fill.length; ++i) {
            var p = data.fill[i]
            verify(isFill(image, p[0], p[1]), "green at " + p + ": " + image.pixel(p[0], p[1]))
        }
        for (i = 0; i < data.empty.length; ++i) {
            p = data.empty[i]
            verify(!isFill(image, p[0], p[1]), "no green at " + p)
        }
    }

    function test_screenshotAt37Percent() {
        var image = show(37)
        compare(findChild(popup, "percentText").text, "37%")
        image.save(screenshotDir + "/popup.png")
    }
}
