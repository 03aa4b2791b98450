#include "QmlFixture.h"

#include "BackEnd.h"
#include "FileUtils.h"
#include "TreeViewModel.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>
#include <private/qzipwriter_p.h>

namespace {

QString appDir()
{
    return QCoreApplication::applicationDirPath();
}

// Never created: a catalogue download in these tests fails locally.
QString catalogueSourcePath()
{
    return appDir() + "/server/Q7_firmware_20241205_v2.json";
}

QJsonObject texts(const QString &chinese, const QString &english)
{
    return {{"language1", chinese}, {"language2", english}};
}

QJsonObject category(const QString &id, const QString &chinese, const QString &english)
{
    QJsonObject c = texts(chinese, english);
    c.insert("id", id);
    return c;
}

struct Sample
{
    const char *deviceId;
    const char *version;
    const char *cat1;
    const char *cat2;
    const char *cat3;
};

// Positions 0..7; Q7PRO sits at position 7.
const Sample samples[] = {
    {"X1", "1.2", "tx", "q7", ""},    {"X2", "1.0", "tx", "q7", "HW2"},
    {"X3", "2.1", "tx", "q8", ""},    {"R1", "1.1", "rx", "r5", ""},
    {"R2", "1.4", "rx", "r5", "HW3"}, {"X4", "2.2", "tx", "q8", ""},
    {"R3", "1.5", "rx", "r5", "HW3"}, {"Q7PRO", "2.0", "tx", "q7", ""},
};

QJsonObject categoryFor(const QString &id)
{
    if (id == "tx")
        return category(id, "发射器", "Transmitters");
    if (id == "rx")
        return category(id, "接收器", "Receivers");
    if (id == "q7")
        return category(id, "Q7 系列", "Q7 series");
    if (id == "q8")
        return category(id, "Q8 系列", "Q8 series");
    if (id == "r5")
        return category(id, "R5 系列", "R5 series");
    return category(id, QString(), QString());
}

QJsonObject firmware(const Sample &s)
{
    const QString id = s.deviceId;
    return {
        {"device_id", id},
        {"version", s.version},
        {"release_date", "2024-12-05"},
        {"firmware_url", id + ".zip"},
        {"update_contents_url", id + ".html"},
        {"update_contents",
         texts("1、修复频道切换后显示错乱的问题。\n2、提升连接稳定性。",
               "1. Fixed the display after a channel change.\n2. Steadier connection.")},
        {"remark", texts("升级过程中请勿断开设备。", "Keep the device connected while updating.")},
        {"category1", categoryFor(s.cat1)},
        {"category2", categoryFor(s.cat2)},
        {"category3", category(s.cat3, s.cat3, s.cat3)},
    };
}

QJsonObject markupFirmware(const QString &server)
{
    auto img = [&server](const char *name) {
        return QStringLiteral("<img src=\"%1/%2.png\">").arg(server, name);
    };
    return {
        {"device_id", "M1" + img("device")},
        {"version", "<b>9</b>" + img("version")},
        {"release_date", img("date")},
        {"firmware_url", "M1.zip"},
        {"update_contents_url", "M1.html"},
        {"update_contents", texts(img("update"), img("update"))},
        {"remark", texts(img("remark"), img("remark"))},
        {"category1", category("lab", "实验" + img("category1"), "Lab" + img("category1"))},
        {"category2", category("m", "M" + img("category2"), "M" + img("category2"))},
        {"category3", category("mk" + img("category3"), "", "")},
    };
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace

QmlFixture::QmlFixture(QQmlEngine *engine, const QString &catalogueUrl)
    : QObject(engine)
{
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, &QmlFixture::onNewConnection);
    writeConfig(catalogueUrl);

    qmlRegisterType<TreeViewModel>("TreeViewModel", 1, 0, "TreeViewModel");
    model = new TreeViewModel(this);
    backend = new BackEnd(this);
    backend->treeModel = model;

    QQmlContext *context = engine->rootContext();
    context->setContextProperty("backend", backend);
    context->setContextProperty("myModel", model);
    context->setContextProperty("appdir", appDir());
    context->setContextProperty("configdir", appDir() + "/Config/");
    context->setContextProperty("fixture", this);
    QDir().mkpath(FWU_SCREENSHOT_DIR);
    context->setContextProperty("screenshotDir", QStringLiteral(FWU_SCREENSHOT_DIR));
}

// The controller goes first: it empties Config/Temp, the model outlives it.
QmlFixture::~QmlFixture()
{
    delete backend;
}

QString QmlFixture::serverUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
}

// The program's own Config.xml, every catalogue address replaced by the local file (or the
// address given).
void QmlFixture::writeConfig(const QString &catalogueUrl) const
{
    QFile source(QStringLiteral(FWU_SOURCE_CONFIG));
    if (!source.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", FWU_SOURCE_CONFIG);
    QString xml = QString::fromUtf8(source.readAll());
    const QString url = catalogueUrl.isEmpty()
        ? QUrl::fromLocalFile(catalogueSourcePath()).toString()
        : catalogueUrl;
    xml.replace(QRegularExpression("<catalogue_url>[^<]*</catalogue_url>"),
                "<catalogue_url>" + url + "</catalogue_url>");
    if (!writeFile(appDir() + "/Config/Config.xml", xml.toUtf8()))
        qFatal("cannot write Config/Config.xml beside the test");
}

QByteArray QmlFixture::catalogueDocument(bool withMarkup) const
{
    QJsonArray records;
    for (const Sample &s : samples)
        records.append(firmware(s));
    if (withMarkup)
        records.append(markupFirmware(serverUrl()));
    // Archives lie beside the catalogue's source file: a download stays on this machine. The
    // road puts "file:///" before the base, so a Unix path loses its own leading slash.
    QString base = QFileInfo(catalogueSourcePath()).absolutePath();
    if (base.startsWith('/'))
        base.remove(0, 1);
    const QJsonObject document {{"base_url", base}, {"Firmwares", records}};
    return QJsonDocument(document).toJson();
}

QString QmlFixture::storedCataloguePath() const
{
    return backend->paths().downloadDir + QFileInfo(catalogueSourcePath()).fileName();
}

void QmlFixture::storeCatalogue(bool withMarkup)
{
    if (!writeFile(storedCataloguePath(), catalogueDocument(withMarkup)))
        qWarning("cannot store the sample catalogue");
}

void QmlFixture::storeBrokenCatalogue()
{
    if (!writeFile(storedCataloguePath(), "<html><body>Please log in</body></html>"))
        qWarning("cannot store the broken catalogue");
}

void QmlFixture::serveCatalogue()
{
    if (!writeFile(catalogueSourcePath(), catalogueDocument(false)))
        qWarning("cannot write the served catalogue");
}

void QmlFixture::serveArchive(const QString &deviceId, const QByteArray &image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QZipWriter zip(&buffer);
    zip.addFile(deviceId + ".bin", image);
    zip.close();
    const QString path = QFileInfo(catalogueSourcePath()).absolutePath() + "/" + deviceId + ".zip";
    if (!writeFile(path, buffer.data()))
        qWarning("cannot write the served archive");
}

void QmlFixture::announceLanguages()
{
    backend->applyLanguage();
    backend->initLanguageComboBox();
}

void QmlFixture::forceNetworkButton(bool shown)
{
    backend->setNetworkFirmwareForced(shown);
}

// The download folder and everything served, as a fresh run on an empty server finds them.
void QmlFixture::clearTemp()
{
    removeDirRecursively(backend->paths().downloadDir);
    QDir(QFileInfo(catalogueSourcePath()).absolutePath()).removeRecursively();
}

void QmlFixture::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            // One request per connection: the first line names the path, the rest is ignored.
            if (socket->property("answered").toBool() || !socket->canReadLine())
                return;
            socket->setProperty("answered", true);
            const QList<QByteArray> requestLine = socket->readLine().split(' ');
            paths.append(requestLine.value(1));
            socket->write(
                "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}
