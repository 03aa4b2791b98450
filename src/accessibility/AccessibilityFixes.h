#pragma once

// Makes every accessible Qt Quick item a QuickItemAccessible, and closes the file dialog's
// leftovers. Call before the first window is loaded: the fix answers before Qt Quick's own factory
// only when installed after it, so this makes Qt Quick install its own first.
void installAccessibilityFixes();

// Ends the keyboard trap of Qt's own file dialog: its name completer's list stays over the window
// when the dialog closes by Return, and takes every key. Needs a QApplication.
void closeFileDialogLeftovers();
