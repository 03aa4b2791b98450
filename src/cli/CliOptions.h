#pragma once

#include <QString>
#include <QStringList>

// The parsed command line. Parsing checks only the shape of the arguments; whether a file, URL or
// language exists is checked by the command that uses it.
struct CliOptions
{
    enum class Command { None, Help, Version, Devices, Flash, Catalogue, History };

    Command command = Command::None;
    QString file; // flash FILE.bin
    QString deviceId; // flash --from-catalogue [DEVICE_ID]
    QString search; // catalogue [SEARCH]
    QString url; // --url; empty for the configured catalogue
    QString language; // --language N|NAME; empty for the first
    double waitSeconds = 10.0;
    int startDelayMs = 1000;
    bool fromCatalogue = false;
    bool force = false;
    bool json = false;
    bool csv = false; // history --csv
    int last = 0; // history --last N; 0 for all
    QString device; // --device NAME: path, serial or identity
    bool all = false; // --all
    bool station = false; // --station
    int expect = 0; // --expect N with --all; 0 for at least one
    bool quiet = false;
    bool noProgress = false; // --no-progress
    bool verbose = false;
    QString sha256; // --sha256 HEX: the image file's expected SHA-256, lower case

    QString error; // set when the arguments are unusable; the command is None then
    QString helpText;

    static CliOptions parse(const QStringList &arguments);
};
