// A bare QML window started as the program starts its own, announcing its first frame on stdout
// and ending there: the baseline of the start-up benchmark.
#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.load(QUrl(QStringLiteral("qrc:/bare_window.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window)
        return 1;
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            static bool announced = false;
            if (announced)
                return;
            announced = true;
            std::fputs("first frame\n", stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    return app.exec();
}
