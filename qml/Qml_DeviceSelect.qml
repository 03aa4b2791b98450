import QtQuick 2.15
import QtQuick.Window 2.15

// Placeholder until the selection dialog lands.
Window {
    id: netFileWindow
    property string searchInputText: ""
    function doOneTimeSearch(str) { searchInputText = str }
    function treeViewExpandAll() { }
    visible: false
    width: 700
    height: 480
}
