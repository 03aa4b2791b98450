#pragma once

#include "AccessoryChoice.h"
#include "AppPaths.h"
#include "FileDownloader.h"
#include "FirmwareCatalog.h"
#include "LanguageConfig.h"
#include "UpdateFailure.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTranslator>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>

class QUrl;
class TreeViewModel;
class WindowRecord;

// The one object the QML interface talks to ("backend"): relays commands to the engine and its
// reports back, writes the numbered, coloured message log, and owns texts, catalogue and downloads.
class BackEnd : public QObject
{
    Q_OBJECT
    // True from the moment an update passed its checks until it ends: the window guards itself.
    Q_PROPERTY(bool updateRunning READ updateRunning NOTIFY sigUpdateState)
    // "37 %", then "37 % · 0:12 left" once two blocks have gone; after an update its outcome in
    // the current language; empty before the first update and once a new image is opened.
    Q_PROPERTY(QString progressText READ progressText NOTIFY progressTextChanged)
    // How the last update ended (Outcome), until a new image is opened.
    Q_PROPERTY(int updateOutcome READ updateOutcome NOTIFY progressTextChanged)
    // The connected device's identity in the current language; empty while none is known.
    Q_PROPERTY(QString deviceIdentityText READ deviceIdentityText NOTIFY deviceIdentityTextChanged)
    // The accessories present, each a map of "key", "serial", "detail" (identity, kind, busy in
    // the current language), "picked" and "pickable".
    Q_PROPERTY(QVariantList accessories READ accessories NOTIFY accessoriesChanged)
    // Above the list: the hint to pick one, or the one chosen; empty when there is no list.
    Q_PROPERTY(QString accessoryHeader READ accessoryHeader NOTIFY accessoriesChanged)
    // A choice the user can clear is in force.
    Q_PROPERTY(bool accessoryPicked READ accessoryPicked NOTIFY accessoriesChanged)
    // The current language's texts of the window's questions, by name.
    Q_PROPERTY(QVariantMap uiTexts READ uiTexts NOTIFY uiTextsChanged)
    // "Downloading X1 · 1.2" while a catalogue firmware downloads; empty otherwise.
    Q_PROPERTY(QString downloadText READ downloadText NOTIFY downloadTextChanged)
    // The system is ending the session: the window closes without asking.
    Q_PROPERTY(bool sessionEnding READ sessionEnding NOTIFY sessionEndingChanged)
public:
    // The running program's folders (AppPaths::forThisProgram()).
    explicit BackEnd(QObject *parent = nullptr);
    explicit BackEnd(const AppPaths &paths, QObject *parent = nullptr);
    ~BackEnd() override;

    // Writes one time-stamped log line in red or black.
    void logMessage(bool red, const QString &text);
    // Sends the current language's texts to the main window and the selection dialog.
    void applyLanguage();
    // Sends the language list (with the current selection) and the help host.
    void initLanguageComboBox();

    // The stamp a log line starts with, "[hh:mm:ss] ".
    static QString timeStamp(int hour, int minute, int second);

    Q_INVOKABLE bool jsonFileIsExists();
    // Whether the main window shows its network-firmware button: Config.xml or the command line.
    Q_INVOKABLE bool networkFirmwareEnabled() const;
    void setNetworkFirmwareForced(bool forced) { networkFirmwareForced = forced; }
    // Starts in the language the user chose last (or the system's) and remembers every later
    // choice in the language box. Only the program does this; a controller made by a test keeps
    // to the first language and to nobody's settings.
    void followUserLanguage();
    const AppPaths &paths() const { return appPaths; }
    // Keeps a log file of this run and the update history; the first log line names the program
    // and its version. Only the program does this, not a controller a test makes.
    void keepRecords(const QString &version, const QStringList &logHeader);
    // The log view's menu: the log as shown saved to a file (a file URL); the logs' folder opened
    // in the system's file manager.
    Q_INVOKABLE void qml_SaveLog(const QString &fileUrl, const QString &text);
    Q_INVOKABLE void qml_OpenLogFolder();
    Q_INVOKABLE QString qmlGetDeviceID();

    bool updateRunning() const { return running; }
    enum Outcome { NoOutcome = 0, UpdateDone = 1, UpdateFailed = 2 };
    QString progressText() const;
    int updateOutcome() const { return outcome; }
    QString deviceIdentityText() const;
    QVariantMap uiTexts() const;
    QVariantList accessories() const;
    QString accessoryHeader() const;
    bool accessoryPicked() const { return !choice.chosenKey().isEmpty(); }
    bool sessionEnding() const { return endingSession; }
    QString downloadText() const;

    // The clock of the time-left estimate, in milliseconds; tests replace it.
    void setClock(std::function<qint64()> clock) { now = std::move(clock); }
    // The locale of Qt's own texts in use ("" when none is loaded).
    QString qtTranslationLocale() const { return qtLocaleLoaded; }

    TreeViewModel *treeModel = nullptr;

signals:
    void sigOutputMsg(QString color, QString OutputMsg);
    void sigUsbConnectStatus(int Status);
    void sigProgressValue(int value);
    void siglangageChange(QString strTitle, QString strOpenfile, QString strUpdate, QString strHelp,
                          QString strExit, QString strNetFile);
    void sig_SetFilePath(QString path);
    void sig_StartUpdate();
    void sigInitLangageComboBox(QVariantList list, int Len, int CurentSelect);
    void sigSetHelpBtnMeg(QString website);
    void sigSetCurSelectDevice(QString msg);
    void sigSetDetailMsg(QString description, QString descChild, QString updateContent,
                         QString updateContentChild, QString Remark, QString RemarkChild,
                         QString msgUrl);
    void sigNetFileDialogLanguageChange(QString OpenStr, QString CancelStr,
                                        QString SelectedFirmwareStr, QString FirmwareDescStr,
                                        QString UpdatesStr, QString RemarkStr, QString SearchStr,
                                        QString UpdateDetails);
    void sigNetFileDialogWindowsTitle(QString title);
    void sigProgressCtrl(int percent, bool isClose);
    void sigUpdateState(bool running);
    // Update was pressed for a catalogue firmware made for another device: ask before writing.
    void sigMismatchQuestion(QString question);
    // Update was pressed while the chosen accessory is away and another is the only one present.
    void sigInsteadQuestion(QString question, QString answer);
    // The accessory the engine is to use; empty for none.
    void sig_SetTarget(QString path);
    // The digest the engine's copy of the image must have: a catalogue image's, taken when it was
    // unpacked; empty (no pin) for a file the user opened.
    void sig_SetExpectedSha256(QString sha256);
    void accessoriesChanged();
    void progressTextChanged();
    void deviceIdentityTextChanged();
    void uiTextsChanged();
    void sessionEndingChanged();
    void downloadTextChanged();

public slots:
    void windowsClose();
    void openFirwareFile(QString str);
    void fromUiEevent(int Event);
    void slot_MainTaskChangeUsbConnectStatus(bool status);
    void slot_mainTaskChangeProgressValue(int value);
    void slot_MainTastOutputMsg(int index);
    void qml_LangageSelectChange(int index);
    // The user picked a language in the box: the one to start in next time.
    void qml_LanguageChosen(int index);
    void qml_TreeViewSelectDevice(bool isDevice, int DevNum);
    void qml_OpenNetFile(int DevNum);
    void qml_LoadJsonFile();
    // The popup's Cancel: the waiting download ends, stores nothing and logs nothing.
    void qml_CancelDownload();
    void qml_SearchButtonClicked(QString str);
    void slot_ReceiveDeviceID(QString str);
    // Several accessories are plugged in: the log names the one the engine opened.
    void slot_DeviceChosen(QString path, int present);
    void slot_UpdateState(bool running);
    void slot_AccessoriesPresent(QVariantList accessories);
    void slot_AccessoryOpened(QString path);
    // Why the update that is ending failed: the line after "Device update failed".
    void slot_UpdateFailure(UpdateFailure failure);
    // The engine's copy of the image is whole: a pinned image that changed on disk is refused.
    void slot_ImageDigest(QString sha256, qint64 size, bool matches);
    // The user picked an accessory in the list (its key), or cleared the pick.
    void qml_PickAccessory(QString key);
    void qml_ClearPick();
    // The user answered the question with "update that one instead".
    void qml_UpdateInstead();
    // The user answered the mismatch question with "update anyway".
    void qml_UpdateDespiteMismatch();
    void endSession();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    QString text(LanguageConfig::Entry entry) const;
    // The stored catalogue's path when the first language's catalogue URL names a usable file
    // there, else an empty string. The catalogue is always fetched for the first language.
    QString storedCataloguePath() const;
    // Opens an image; deviceId is the identity of the catalogue record it came from, else empty.
    void openImage(const QString &path, const QString &deviceId);
    bool firmwareMismatches() const;
    void setProgressText(const QString &text);
    void setOutcome(Outcome ended, bool lost);
    void noteDeviceGone();
    void logUpdateStart();
    void startChecked();
    void followChoice();
    void logAccessoriesFound(const QVector<AccessoryChoice::Accessory> &before);
    void logFailureReason();
    void setDownloadName(const QString &name);
    void downloadFailed();
    void describeImage(const QString &path, bool pin);
    void setLoadingCatalogue(bool loading);
    void closeImage();
    bool recordVerifiable(int record);
    void loadQtTranslation();
    // The history's start line, then the update to the engine.
    void handToEngine();
    QString openSerial() const;
    // The engine refused the update before it began (no device, no or an unusable image).
    void noteRefusal(int message);
    // The history's end line of the update handed to the engine, if it has none yet.
    void recordEnd(const QString &outcome);
    // The log file's line on a download just ended: address, HTTP status, bytes.
    void noteDownload(const QUrl &url);

    AppPaths appPaths;
    LanguageConfig config;
    int currentLanguage = 0;
    bool rememberLanguage = false;
    FirmwareCatalog catalog;
    FileDownloader downloader;
    QString lastDeviceId;
    QString loggedOpen; // the last "accessory opened" line of the log file
    int selectedRecord = -1; // the firmware whose details the dialog shows
    QString downloadName; // the firmware being downloaded
    bool loadingCatalogue = false; // the popup then says the catalogue is loading
    bool networkFirmwareForced = false;

    QString imageDeviceId; // identity of the catalogue record the open image came from
    bool running = false;
    QString progress;
    Outcome outcome = NoOutcome;
    bool deviceLost = false; // the device went away during the update that ended last
    QString imageName;
    qint64 imageSize = -1;
    std::function<qint64()> now;
    qint64 updateStartMs = 0;
    int blockReports = 0; // progress reports since the update began, one per block
    bool endingSession = false;
    AccessoryChoice choice;
    QString engineOpenPath; // the accessory the engine has open
    bool engineConnected = false; // and has reported connected
    bool startPending = false; // Update waits for the engine to connect the accessory to write
    QString insteadKey; // offered by the question
    QString mismatchAsked; // accessory path, firmware and device identity of the mismatch question
    QString mismatchAccepted; // the same, once answered "update anyway"
    UpdateFailure failure; // of the update that is ending
    QTranslator qtTranslator;
    QString qtLocaleLoaded;
    std::unique_ptr<WindowRecord> records;
    QString imagePath; // the image handed to the engine
    // The open image's digest once hashed off the GUI thread; a catalogue image's is also the pin.
    QString imageSha256;
};
