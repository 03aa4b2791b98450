#include "StartupOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstring>

bool StartupOptions::onlyPrints(int argc, char **argv)
{
    static const char *const printing[] = {"-h", "--help", "-?", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i) {
        for (const char *option : printing) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

StartupOptions StartupOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a firmware image into the USB accessory, from a file or from the "
                       "maker's firmware catalogue."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption network(QStringLiteral("network-firmware"),
                                     QStringLiteral("Show the network-firmware button."));
    parser.addOption(network);
    QCommandLineOption startDelay(QStringLiteral("start-delay"),
                                  QStringLiteral("Pause before the device engine starts, in ms."),
                                  QStringLiteral("ms"), QStringLiteral("1000"));
    // Tests shorten the pause; users have no reason to.
    startDelay.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(startDelay);
    QCommandLineOption firstFrame(QStringLiteral("exit-after-first-frame"),
                                  QStringLiteral("End at the main window's first frame."));
    firstFrame.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(firstFrame);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A firmware image to open, as Open would."),
                                 QStringLiteral("[FILE.bin]"));
    parser.process(arguments);

    StartupOptions options;
    options.networkFirmware = parser.isSet(network);
    options.exitAfterFirstFrame = parser.isSet(firstFrame);
    // Absolute: a copy already running, started elsewhere, may be the one that opens it.
    if (!parser.positionalArguments().isEmpty())
        options.file = QUrl::fromLocalFile(
            QDir::current().absoluteFilePath(parser.positionalArguments().constFirst()));
    bool ok = false;
    const int delay = parser.value(startDelay).toInt(&ok);
    if (ok && delay >= 0)
        options.startDelayMs = delay;
    return options;
}
