import QtQuick 2.15

Item {
    this is not QML
}
