#pragma once

#include <QStringList>
#include <QUrl>

// What the command line asks of the program.
struct StartupOptions
{
    bool networkFirmware = false;
    // The engine's pause before its first pass; a second unless a test shortens it.
    int startDelayMs = 1000;
    // The start-up benchmark's stop watch: end at the main window's first frame.
    bool exitAfterFirstFrame = false;
    // firmware-updater FILE.bin: the image to open, as the Open button would; empty for none.
    QUrl file;

    // Parses the application's arguments; --help, --version and errors print and exit the process.
    static StartupOptions parse(const QStringList &arguments);
    // Whether the arguments ask only for --help or --version, which need no display.
    static bool onlyPrints(int argc, char **argv);
};
