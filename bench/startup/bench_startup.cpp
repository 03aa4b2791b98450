// Start-up benchmark: the time from starting the program to the first frame of its main window,
// against a bare window of the same size, application class and QML imports. The two are
// started alternately, each run a fresh process, and the medians are compared. Needs a display;
// without one it runs itself again under xvfb-run.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int runsEach = 11;

// Milliseconds from start to the "first frame" line; negative when it never came.
double firstFrameMs(const QString &program, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    // The program announces its first frame and ends; the bare window always does.
    process.start(program, {QStringLiteral("--exit-after-first-frame")});
    double ms = -1;
    while (process.waitForReadyRead(10000)) {
        if (process.readAllStandardOutput().contains("first frame")) {
            ms = clock.nsecsElapsed() / 1e6;
            break;
        }
    }
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
    return ms;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("FWU_BENCH_XVFB")) {
        // One X server for every run, as the tests use it.
        std::vector<char *> args = {const_cast<char *>("xvfb-run"),
                                    const_cast<char *>("-a"),
                                    const_cast<char *>("-s"),
                                    const_cast<char *>("-screen 0 1280x1024x24"),
                                    argv[0],
                                    nullptr};
        qputenv("FWU_BENCH_XVFB", "1");
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const QString dir = QCoreApplication::applicationDirPath();
    const QString program = dir + "/../firmware-updater";
    const QString bare = dir + "/" + FWU_BARE_WINDOW;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QUICK_CONTROLS_STYLE", "Default");

    std::vector<double> programMs, bareMs;
    // One unmeasured run of each fills the file cache.
    firstFrameMs(program, environment);
    firstFrameMs(bare, environment);
    for (int i = 0; i < runsEach; ++i) {
        const double p = firstFrameMs(program, environment);
        const double b = firstFrameMs(bare, environment);
        if (p < 0 || b < 0) {
            std::fprintf(stderr, "bench_startup: a run showed no first frame\n");
            return 1;
        }
        programMs.push_back(p);
        bareMs.push_back(b);
    }
    const double p = median(programMs);
    const double b = median(bareMs);
    // Context for a loaded machine: the fastest runs are the least disturbed.
    const double pMin = *std::min_element(programMs.begin(), programMs.end());
    const double bMin = *std::min_element(bareMs.begin(), bareMs.end());
    std::printf("start-up fastest runs: %.0f ms against %.0f ms (%.2f)\n", pMin, bMin, pMin / bMin);
    std::printf("| start-up: exec to first frame of the main window (Xvfb, median of %d, "
                "alternated) | %.0f ms | %.0f ms | %.2f |\n",
                runsEach, p, b, p / b);
    return 0;
}
