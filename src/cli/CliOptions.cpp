#include "CliOptions.h"

#include <algorithm>

#include <QCommandLineParser>

#include <cctype>
#include <cmath>

namespace {

const char *const description
    = "Writes a firmware image into the USB accessory, from a file or from the firmware "
      "catalogue.\n\n"
      "Commands:\n"
      "  devices [--json]                      list the connected accessories\n"
      "  flash FILE.bin [--wait SECONDS]       update the accessory with an image file; with\n"
      "                                        several, name one with --device or use --all\n"
      "  flash --from-catalogue [DEVICE_ID] [--force] [--url URL]\n"
      "                                        update it with the newest catalogue firmware\n"
      "  flash ... --device NAME               only the accessory with that path, serial or\n"
      "                                        identity\n"
      "  flash ... --all [--expect N] [--json] every connected accessory, side by side\n"
      "  flash FILE.bin --station              until Ctrl+C, every accessory plugged in, once\n"
      "  flash FILE.bin ... --sha256 HEX       only an image with this SHA-256\n"
      "  catalogue [--url URL] [SEARCH] [--json]\n"
      "                                        list the catalogue's firmware\n"
      "  history [--json | --csv] [--device NAME] [--last N]\n"
      "                                        the updates made on this machine, newest last\n\n"
      "Results go to stdout; status lines, progress and errors to stderr.\n\n"
      "Exit status: 0 done, 1 network error or server fault (5xx), 2 bad usage, an unusable\n"
      "file or an address the server refuses (4xx), several accessories and none chosen, 3 no\n"
      "device, 4 update failed, 5 firmware for another device, 6 another copy (the window or a\n"
      "flash, of any user) is using the accessory, 7 not verified (a download, signature or\n"
      "--sha256 that does not match), 130 interrupted. With --all: 4 when any accessory failed,\n"
      "3 when fewer than --expect are there within --wait.";

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption wait {"wait", "Seconds to wait for the accessory (default 10).", "seconds"};
    QCommandLineOption url {"url", "Catalogue address (http, https or file).", "url"};
    QCommandLineOption json {
        "json", "The catalogue, the devices, the history or the --all report as JSON."};
    QCommandLineOption csv {"csv", "The history as CSV."};
    QCommandLineOption last {"last", "The history's newest N updates only.", "N"};
    QCommandLineOption device {
        "device", "Update (or show the history of) only this accessory: path, serial or identity.",
        "NAME"};
    QCommandLineOption all {"all", "Update every connected accessory, side by side."};
    QCommandLineOption station {"station", "Until interrupted, update each accessory plugged in."};
    QCommandLineOption expect {"expect", "With --all: fail (3) unless N accessories are there.",
                               "N"};
    QCommandLineOption fromCatalogue {"from-catalogue", "Flash the newest catalogue firmware."};
    QCommandLineOption force {"force", "Flash even when the firmware is for another device."};
    QCommandLineOption language {"language", "Language of the messages: its number or name.",
                                 "N|NAME"};
    QCommandLineOption quiet {"quiet", "Print errors only."};
    QCommandLineOption noProgress {"no-progress", "Print no progress lines."};
    QCommandLineOption verbose {"verbose", "Print the device protocol trace on stderr."};
    QCommandLineOption startDelay {"start-delay", "Engine start pause in ms.", "ms", "1000"};
    QCommandLineOption sha256 {"sha256", "Flash the image only when its SHA-256 is this.", "HEX"};
    QCommandLineOption help {{"h", "help"}, "Show this help."};
    // -v as in the window (Qt's version option): the version, never --verbose.
    QCommandLineOption version {{"v", "version"}, "Show the version."};

    Parser()
    {
        parser.setApplicationDescription(QString::fromLatin1(description));
        // Tests shorten the engine's start pause; users have no reason to.
        startDelay.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOptions({help, version, wait, url, json, csv, last, device, all, station, expect,
                           fromCatalogue, force, language, quiet, noProgress, verbose, startDelay,
                           sha256});
        parser.addPositionalArgument("command", "devices, flash, catalogue or history.");
    }
};

bool takeWait(const QString &text, double &seconds)
{
    bool ok = false;
    seconds = text.toDouble(&ok);
    return ok && std::isfinite(seconds) && seconds >= 0 && seconds <= 24 * 3600;
}

// Fills the command and its positional argument; false (with error set) on the wrong count.
bool takeCommand(QStringList args, CliOptions &o)
{
    const QString name = args.takeFirst();
    const auto tooMany = [&](int allowed) {
        if (args.size() <= allowed)
            return false;
        o.error = QStringLiteral("too many arguments for %1: %2").arg(name, args.join(' '));
        return true;
    };
    if (name == QLatin1String("devices")) {
        o.command = CliOptions::Command::Devices;
        return !tooMany(0);
    }
    if (name == QLatin1String("catalogue")) {
        o.command = CliOptions::Command::Catalogue;
        o.search = args.value(0);
        return !tooMany(1);
    }
    if (name == QLatin1String("flash")) {
        o.command = CliOptions::Command::Flash;
        if (o.fromCatalogue) {
            o.deviceId = args.value(0);
            return !tooMany(1);
        }
        if (args.isEmpty()) {
            o.error = QStringLiteral("flash needs an image file (or --from-catalogue)");
            return false;
        }
        o.file = args.first();
        return !tooMany(1);
    }
    if (name == QLatin1String("history")) {
        o.command = CliOptions::Command::History;
        return !tooMany(0);
    }
    o.error
        = QStringLiteral("unknown command: %1 (devices, flash, catalogue or history)").arg(name);
    return false;
}

// A catalogue firmware is checked against the catalogue's own digest, not one typed in.
bool takeSha256(const QString &text, CliOptions &o)
{
    const QString hex = text.trimmed().toLower();
    const bool isHex = hex.size() == 64
        && std::all_of(hex.begin(), hex.end(), [](QChar c) { return isxdigit(c.toLatin1()); });
    if (o.fromCatalogue)
        o.error = QStringLiteral("--sha256 checks an image file; a catalogue firmware is checked "
                                 "against the catalogue's own digest");
    else if (!isHex)
        o.error = QStringLiteral("--sha256 needs 64 hexadecimal digits, not \"%1\"").arg(text);
    else
        o.sha256 = hex;
    return o.error.isEmpty();
}

} // namespace

CliOptions CliOptions::parse(const QStringList &arguments)
{
    Parser p;
    CliOptions o;
    o.helpText = p.parser.helpText();
    if (!p.parser.parse(arguments)) {
        o.error = p.parser.errorText();
        return o;
    }
    if (p.parser.isSet(p.help)) {
        o.command = Command::Help;
        return o;
    }
    if (p.parser.isSet(p.version)) {
        o.command = Command::Version;
        return o;
    }
    o.url = p.parser.value(p.url);
    o.language = p.parser.value(p.language);
    o.fromCatalogue = p.parser.isSet(p.fromCatalogue);
    o.force = p.parser.isSet(p.force);
    o.json = p.parser.isSet(p.json);
    o.csv = p.parser.isSet(p.csv);
    if (o.csv && o.json) {
        o.error = QStringLiteral("--csv and --json exclude each other");
        return o;
    }
    if (p.parser.isSet(p.last)) {
        bool ok = false;
        o.last = p.parser.value(p.last).toInt(&ok);
        if (!ok || o.last < 1) {
            o.error = QStringLiteral("--last needs a number of updates, not \"%1\"")
                          .arg(p.parser.value(p.last));
            return o;
        }
    }
    o.device = p.parser.value(p.device);
    o.all = p.parser.isSet(p.all);
    o.station = p.parser.isSet(p.station);
    if (o.station && (o.all || !o.device.isEmpty() || o.fromCatalogue)) {
        o.error = QStringLiteral("--station takes an image file, without --all, --device or "
                                 "--from-catalogue");
        return o;
    }
    if (p.parser.isSet(p.expect)) {
        bool ok = false;
        o.expect = p.parser.value(p.expect).toInt(&ok);
        if (!ok || o.expect < 1 || o.expect > 1000) {
            o.error = QStringLiteral("--expect needs a number of accessories, not \"%1\"")
                          .arg(p.parser.value(p.expect));
            return o;
        }
    }
    if (p.parser.isSet(p.sha256) && !takeSha256(p.parser.value(p.sha256), o))
        return o;
    if (o.all && !o.device.isEmpty()) {
        o.error = QStringLiteral("--all and --device exclude each other");
        return o;
    }
    o.quiet = p.parser.isSet(p.quiet);
    o.noProgress = p.parser.isSet(p.noProgress);
    o.verbose = p.parser.isSet(p.verbose);
    bool delayOk = false;
    const int delay = p.parser.value(p.startDelay).toInt(&delayOk);
    // Bounded so that the wait's deadline (pause plus --wait) cannot overflow.
    if (delayOk && delay >= 0)
        o.startDelayMs = std::min(delay, 60000);
    if (p.parser.isSet(p.wait) && !takeWait(p.parser.value(p.wait), o.waitSeconds)) {
        o.error = QStringLiteral("--wait needs a number of seconds, not \"%1\"")
                      .arg(p.parser.value(p.wait));
        return o;
    }
    if (p.parser.positionalArguments().isEmpty()) {
        o.error
            = QStringLiteral("no command given (devices, flash, catalogue or history); see --help");
        return o;
    }
    if (!takeCommand(p.parser.positionalArguments(), o))
        o.command = Command::None;
    else if ((o.csv || o.last > 0) && o.command != Command::History) {
        o.error = QStringLiteral("--csv and --last belong to the history command");
        o.command = Command::None;
    }
    return o;
}
