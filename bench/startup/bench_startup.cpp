// Start-up benchmark: the time from starting the program to the first frame of its main window,
// against a bare window of the same size, application class and QML imports, on Qt's default
// renderer and on the software one. All are started in turn, each run a fresh process, and the
// medians are compared. Needs a display;
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

    // The program as shipped draws with the software renderer; the first baseline is a bare
    // window on Qt's default (OpenGL) one, as before. Each is also shown against its own kind, so
    // that the cost of the window's content and the gain of the renderer can be read apart.
    QProcessEnvironment shipped = QProcessEnvironment::systemEnvironment();
    shipped.insert("QT_QUICK_CONTROLS_STYLE", "Default");
    shipped.remove("QT_QUICK_BACKEND");
    shipped.remove("QMLSCENE_DEVICE");
    QProcessEnvironment openGl = shipped;
    openGl.insert("QT_QUICK_BACKEND", "opengl"); // the program's name for Qt's default renderer
    QProcessEnvironment software = shipped;
    software.insert("QT_QUICK_BACKEND", "software");
    struct Kind
    {
        QString program;
        QProcessEnvironment environment;
        std::vector<double> ms;
    };
    std::vector<Kind> kinds = {{program, shipped, {}},
                               {bare, shipped, {}}, // the bare window's renderer is Qt's default
                               {bare, software, {}},
                               {program, openGl, {}}};
    // One unmeasured run of each fills the file cache.
    for (Kind &kind : kinds)
        firstFrameMs(kind.program, kind.environment);
    for (int i = 0; i < runsEach; ++i) {
        for (Kind &kind : kinds) {
            const double ms = firstFrameMs(kind.program, kind.environment);
            if (ms < 0) {
                std::fprintf(stderr, "bench_startup: a run showed no first frame\n");
                return 1;
            }
            kind.ms.push_back(ms);
        }
    }
    const double program_ = median(kinds[0].ms), bareGl = median(kinds[1].ms),
                 bareSoftware = median(kinds[2].ms), programGl = median(kinds[3].ms);
    // Context for a loaded machine: the fastest runs are the least disturbed.
    std::printf("start-up fastest runs: program %.0f ms, bare window %.0f ms, bare window on the "
                "software renderer %.0f ms, program on OpenGL %.0f ms\n",
                *std::min_element(kinds[0].ms.begin(), kinds[0].ms.end()),
                *std::min_element(kinds[1].ms.begin(), kinds[1].ms.end()),
                *std::min_element(kinds[2].ms.begin(), kinds[2].ms.end()),
                *std::min_element(kinds[3].ms.begin(), kinds[3].ms.end()));
    std::printf("| start-up: exec to first frame of the main window, the program on its software "
                "renderer, the bare window on OpenGL (Xvfb, median of %d, alternated) "
                "| %.0f ms | %.0f ms (bare window) | %.2f |\n",
                runsEach, program_, bareGl, program_ / bareGl);
    std::printf("| start-up: the same, against a bare window on the software renderer | %.0f ms | "
                "%.0f ms (bare window, software renderer) | %.2f |\n",
                program_, bareSoftware, program_ / bareSoftware);
    std::printf("| start-up: the program drawing with OpenGL, as before (QT_QUICK_BACKEND=opengl) "
                "| %.0f ms | %.0f ms (bare window) | %.2f |\n",
                programGl, bareGl, programGl / bareGl);
    return 0;
}
