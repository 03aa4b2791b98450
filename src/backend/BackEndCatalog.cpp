// The controller's catalogue side: searching the tree and the selected firmware's details.
#include "BackEnd.h"

void BackEnd::qml_SearchButtonClicked(QString) { }

void BackEnd::qml_TreeViewSelectDevice(bool, int) { }

bool BackEnd::jsonFileIsExists() { return false; }
