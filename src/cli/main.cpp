// firmware-updater-cli: the window's update engine, catalogue and downloads without a window.
#include "CliApp.h"
#include "CliOptions.h"
#include "ExitCode.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Some organization"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FWU_VERSION));
    const CliOptions options = CliOptions::parse(QCoreApplication::arguments());
    if (options.command == CliOptions::Command::Help) {
        std::fputs(qPrintable(options.helpText), stdout);
        return ExitCode::Ok;
    }
    if (options.command == CliOptions::Command::Version) {
        std::printf("firmware-updater-cli %s\n", FWU_VERSION);
        return ExitCode::Ok;
    }
    if (options.command == CliOptions::Command::None) {
        std::fprintf(stderr, "firmware-updater-cli: %s\n", qPrintable(options.error));
        return ExitCode::BadUsage;
    }
    // The diagnostic channel stays quiet unless asked for: a failure is one line of its own.
    QLoggingCategory::setFilterRules(options.verbose ? QStringLiteral("fwu.*=true")
                                                     : QStringLiteral("fwu.*=false"));
    CliApp cli(options);
    return cli.run();
}
