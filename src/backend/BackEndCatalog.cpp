// The controller's catalogue road: fetching, searching, selecting and opening network firmware.
#include "BackEnd.h"

void BackEnd::qml_LoadJsonFile() { }

void BackEnd::qml_SearchButtonClicked(QString) { }

void BackEnd::qml_TreeViewSelectDevice(bool, int) { }

void BackEnd::qml_OpenNetFile(int) { }

bool BackEnd::jsonFileIsExists() { return false; }
