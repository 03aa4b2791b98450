#pragma once

#include <QObject>
#include <QStringList>
#include <QTcpServer>

class BackEnd;
class QQmlEngine;
class TreeViewModel;

// The real controller and tree model as the program wires them, for the Qt Quick tests of the
// firmware selection dialog, the download popup and the main window's network flow.
//
// The catalogue address points at a file beside the test that is never created, so a catalogue
// download fails on this machine instead of reaching out; tests that need a catalogue store one
// in Config/Temp/ as if it had been downloaded. A loopback server records every request, so
// tests can prove that markup in catalogue texts makes Qt fetch nothing.
class QmlFixture : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString serverUrl READ serverUrl CONSTANT)
public:
    // Writes Config/Config.xml beside the executable, then creates the controller and the model
    // and publishes them, with appdir and screenshotDir, in the engine's root context. A test
    // that needs a real web server gives its catalogue address instead of the missing file.
    explicit QmlFixture(QQmlEngine *engine, const QString &catalogueUrl = QString());
    ~QmlFixture() override;

    QString serverUrl() const;
    BackEnd *controller() const { return backend; }

    // Writes the sample catalogue where the catalogue download stores it. With markup, one
    // firmware carries <img> tags pointing at the loopback server in every text field.
    Q_INVOKABLE void storeCatalogue(bool withMarkup = false);
    // Stores a captive portal's page where the catalogue belongs.
    Q_INVOKABLE void storeBrokenCatalogue();
    // Makes the catalogue address answer with the sample catalogue.
    Q_INVOKABLE void serveCatalogue();
    // Makes the archive of a sample record, <deviceId>.zip holding <deviceId>.bin, downloadable.
    Q_INVOKABLE void serveArchive(const QString &deviceId, const QByteArray &image);
    // Empties the download folder and removes whatever is served, as a fresh run finds them.
    Q_INVOKABLE void clearTemp();
    // Sends the languages and their texts, as start-up does once the main window is loaded.
    Q_INVOKABLE void announceLanguages();
    // As --network-firmware does; read by a main window when it is made.
    Q_INVOKABLE void forceNetworkButton(bool shown);
    // Paths requested from the loopback server so far.
    Q_INVOKABLE QStringList requestedPaths() const { return paths; }

private:
    void writeConfig(const QString &catalogueUrl) const;
    QByteArray catalogueDocument(bool withMarkup) const;
    QString storedCataloguePath() const;
    void onNewConnection();

    QTcpServer server;
    QStringList paths;
    BackEnd *backend = nullptr;
    TreeViewModel *model = nullptr;
};
