#pragma once

#include <QString>

// Columns a text takes on a terminal: East Asian Wide and Fullwidth characters count two,
// combining marks and other zero-width characters none, everything else one.
int displayWidth(const QString &text);
