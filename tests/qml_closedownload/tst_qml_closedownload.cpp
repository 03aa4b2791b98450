// Closing the main window while a firmware download waits on a loopback server that sends
// nothing: the real controller, dialog and popup, the download in its own wait.
#include "FileUtils.h"
#include "QmlFixture.h"
#include "TestHttpServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

namespace {

// One firmware, X1, whose archive lies under /fw on the server.
QByteArray catalogue()
{
    const QJsonObject names {{"language1", "发射器"}, {"language2", "Transmitters"}};
    QJsonObject category = names;
    category.insert("id", "tx");
    const QJsonObject record {{"device_id", "X1"},        {"version", "1.2"},
                              {"firmware_url", "X1.zip"}, {"category1", category},
                              {"category2", category},    {"category3", QJsonObject()}};
    return QJsonDocument(QJsonObject {{"base_url", "fw"}, {"Firmwares", QJsonArray {record}}})
        .toJson();
}

} // namespace

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        auto *server = new TestHttpServer(TestHttpServer::Security::Plain, engine);
        if (!server->start())
            qFatal("no loopback server");
        const QString name = QStringLiteral("/Q7_firmware_20241205_v2.json");
        // A slow server: the catalogue comes in two pieces, 1.5 s apart.
        const QByteArray body = catalogue();
        // No catalogue stored by an earlier run: this one is fetched.
        QFile::remove(tempFolderPath() + name.mid(1));
        server->setReply(name, TestHttpServer::inPieces({body.left(10), body.mid(10)}, 1500));
        // The head announces a body that never comes: the download waits until it is ended.
        server->setReply("/fw/X1.zip", TestHttpServer::stall(100000));
        engine->rootContext()->setContextProperty("httpServer", server);
        new QmlFixture(engine, server->origin() + name);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(qml_closedownload, Setup)
#include "tst_qml_closedownload.moc"
