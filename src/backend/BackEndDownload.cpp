// The controller's download side: fetching the catalogue and opening a network firmware.
#include "BackEnd.h"

void BackEnd::qml_LoadJsonFile() { }

void BackEnd::qml_OpenNetFile(int) { }
