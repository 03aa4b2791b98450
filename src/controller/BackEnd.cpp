#include "BackEnd.h"

#include "FileUtils.h"
#include "LanguageChoice.h"
#include "MessageId.h"
#include "PrintableText.h"
#include "WindowRecord.h"
#include "WorkerThread.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTime>
#include <QUrl>

#include <chrono>

namespace {

// Message number -> its text entry and whether it is a failure (shown in red).
struct MessageDef
{
    LanguageConfig::Entry entry;
    bool red;
};

constexpr MessageDef messageTable[] = {
    {LanguageConfig::msgOpenFileFailed, true},     {LanguageConfig::msgFileSizeInvalid, true},
    {LanguageConfig::msgReadFileFailed, true},     {LanguageConfig::msgOpenFileOk, false},
    {LanguageConfig::msgDeviceConnected, false},   {LanguageConfig::msgDeviceDisconnected, false},
    {LanguageConfig::msgConnectDeviceFirst, true}, {LanguageConfig::msgOpenFileFirst, true},
    {LanguageConfig::msgUpdateFailed, true},       {LanguageConfig::msgUpdateOk, false},
    {LanguageConfig::msgFirmwareMismatch, true},   {LanguageConfig::msgNetworkError, true},
    {LanguageConfig::msgDevicePermission, true},
};
constexpr int messageCount = int(sizeof(messageTable) / sizeof(messageTable[0]));
static_assert(messageCount == MessageId::Count, "one table row per message number");

} // namespace

BackEnd::BackEnd(QObject *parent)
    : BackEnd(AppPaths::forThisProgram(), parent)
{
}

BackEnd::BackEnd(const AppPaths &paths, QObject *parent)
    : QObject(parent)
    , appPaths(paths)
    , lastDeviceId(QStringLiteral("*"))
{
    now = [] {
        using namespace std::chrono;
        return qint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
    connect(&downloader, &FileDownloader::downLoadProgress, this, &BackEnd::sigProgressCtrl);
    // Logging out or shutting down closes the window without the question an update raises.
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, &BackEnd::endSession);
    downloader.setDownloadFolder(appPaths.downloadDir);
    config.loadConfigFile(appPaths.configFile());
    // Never reuse a catalogue or firmware left by an earlier run.
    removeDirRecursively(appPaths.downloadDir);
}

BackEnd::~BackEnd()
{
    removeDirRecursively(appPaths.downloadDir);
}

bool BackEnd::networkFirmwareEnabled() const
{
    return config.networkFirmware || networkFirmwareForced;
}

void BackEnd::timerEvent(QTimerEvent *) { }

QString BackEnd::text(LanguageConfig::Entry entry) const
{
    return config.text(entry, currentLanguage);
}

QString BackEnd::timeStamp(int hour, int minute, int second)
{
    return QStringLiteral("[%1:%2:%3] ")
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(second, 2, 10, QLatin1Char('0'));
}

void BackEnd::logMessage(bool red, const QString &text)
{
    const QTime now = QTime::currentTime();
    const QString line = timeStamp(now.hour(), now.minute(), now.second()) + text;
    emit sigOutputMsg(red ? QStringLiteral("red") : QStringLiteral("black"), line);
    if (records)
        records->logLine(line);
}

void BackEnd::slot_MainTastOutputMsg(int index)
{
    if (index < 0 || index >= messageCount)
        return;
    // Recorded before the line is shown: the window may close on seeing it.
    if (index == MessageId::UpdateOk || index == MessageId::UpdateFailed)
        recordEnd(index == MessageId::UpdateOk ? QStringLiteral("done") : QStringLiteral("failed"));
    noteRefusal(index);
    logMessage(messageTable[index].red, text(messageTable[index].entry));
    if (index == MessageId::DeviceDisconnected) {
        noteDeviceGone();
    } else if (index == MessageId::UpdateOk) {
        if (!choice.writtenName().isEmpty())
            logMessage(false,
                       text(LanguageConfig::textOutcomeDoneNamed)
                           .arg(printableText(choice.writtenName())));
        setOutcome(UpdateDone, false);
    } else if (index == MessageId::UpdateFailed) {
        logFailureReason();
        setOutcome(UpdateFailed, deviceLost);
    } else if (index == MessageId::ReadFileFailed) {
        // An image that ends early once blocks have gone out: the block it could not be read at.
        logFailureReason();
    }
}

void BackEnd::noteDeviceGone()
{
    if (running) {
        deviceLost = true;
    } else if (outcome == UpdateFailed && !deviceLost) {
        deviceLost = true;
        emit progressTextChanged();
    }
}

void BackEnd::setOutcome(Outcome ended, bool lost)
{
    outcome = ended;
    deviceLost = lost;
    emit progressTextChanged();
}

QString BackEnd::progressText() const
{
    using L = LanguageConfig;
    if (running)
        return progress;
    // An accessory with a serial is named; one without is told of as it always was.
    const QString name = printableText(choice.writtenName());
    switch (outcome) {
    case UpdateDone:
        return name.isEmpty() ? text(L::textOutcomeDone) : text(L::textOutcomeDoneNamed).arg(name);
    case UpdateFailed:
        if (name.isEmpty())
            return text(deviceLost ? L::textOutcomeLost : L::textOutcomeFailed);
        return text(deviceLost ? L::textOutcomeLostNamed : L::textOutcomeFailedNamed).arg(name);
    case NoOutcome:
        break;
    }
    return QString();
}

void BackEnd::logUpdateStart()
{
    if (imageName.isEmpty())
        return; // only a test drives an update without an image
    QString device = lastDeviceId.isEmpty() ? QStringLiteral("*") : lastDeviceId;
    if (!choice.writtenName().isEmpty())
        device += QStringLiteral(" (") + printableText(choice.writtenName()) + ')';
    logMessage(
        false,
        text(LanguageConfig::textUpdateStarted).arg(imageName, QString::number(imageSize), device));
}

void BackEnd::windowsClose()
{
    // The engine stops after its pass: an update it was writing ends here, unfinished.
    if (running)
        recordEnd(QStringLiteral("interrupted"));
    downloader.cancel();
    stopWorkerThread();
}

void BackEnd::openFirwareFile(QString str)
{
    openImage(str, QString());
}

void BackEnd::openImage(const QString &path, const QString &deviceId)
{
    imageDeviceId = deviceId;
    const QUrl url(path);
    const QFileInfo image(url.isLocalFile() ? url.toLocalFile() : path);
    imageName = image.fileName();
    imageSize = image.size();
    imagePath = image.absoluteFilePath();
    logMessage(false, text(LanguageConfig::msgOpenFileOk) + " " + QFileInfo(path).fileName());
    // A new image starts afresh: the last update's full bar and outcome belong to another run.
    outcome = NoOutcome;
    deviceLost = false;
    startPending = false;
    emit sigProgressValue(0);
    emit progressTextChanged();
    imageSha256.clear();
    emit sig_SetExpectedSha256(QString());
    emit sig_SetFilePath(path);
    describeImage(image.filePath(), !deviceId.isEmpty());
}

void BackEnd::startChecked()
{
    // "Update anyway" holds only for the accessory, firmware and identity the question named.
    const QString asked = choice.targetPath() + '\n' + imageDeviceId + '\n' + lastDeviceId;
    const bool accepted = !mismatchAccepted.isEmpty() && mismatchAccepted == asked;
    mismatchAccepted.clear();
    if (firmwareMismatches() && !accepted) {
        mismatchAsked = asked;
        slot_MainTastOutputMsg(MessageId::FirmwareMismatch);
        emit sigMismatchQuestion(
            text(LanguageConfig::textMismatchQuestion).arg(imageDeviceId, lastDeviceId));
        return;
    }
    handToEngine();
}

void BackEnd::qml_UpdateDespiteMismatch()
{
    // The list may have changed while the question was open: the answer goes through Update's
    // checks again.
    if (running)
        return;
    mismatchAccepted = mismatchAsked;
    fromUiEevent(1);
}

// Only a catalogue firmware names its device, and only a V20 device names itself; identities are
// compared as the catalogue search compares them, without regard to case.
bool BackEnd::firmwareMismatches() const
{
    const QString firmware = imageDeviceId.trimmed();
    const QString device = lastDeviceId.trimmed();
    return !firmware.isEmpty() && !device.isEmpty() && device != QLatin1String("*")
        && firmware.compare(device, Qt::CaseInsensitive) != 0;
}

void BackEnd::endSession()
{
    if (endingSession)
        return;
    endingSession = true;
    emit sessionEndingChanged();
}

void BackEnd::slot_MainTaskChangeUsbConnectStatus(bool status)
{
    engineConnected = status;
    emit sigUsbConnectStatus(status ? 1 : 0);
    // Update was pressed before the engine had the accessory to write: it goes ahead now.
    if (status && startPending) {
        startPending = false;
        fromUiEevent(1);
    }
}

void BackEnd::slot_mainTaskChangeProgressValue(int value)
{
    emit sigProgressValue(value);
    if (!running)
        return;
    // While an update runs, every report stands for one acknowledged block.
    ++blockReports;
    QString line = QStringLiteral("%1 %").arg(value);
    if (blockReports >= 2 && value > 0) {
        const qint64 elapsed = now() - updateStartMs;
        const qint64 leftSeconds = (elapsed * (100 - value) / value + 999) / 1000;
        const QString left = QStringLiteral("%1:%2")
                                 .arg(leftSeconds / 60)
                                 .arg(leftSeconds % 60, 2, 10, QLatin1Char('0'));
        line += QStringLiteral("  \u00b7  ") + text(LanguageConfig::textTimeLeft).arg(left);
    }
    setProgressText(line);
}

void BackEnd::slot_UpdateState(bool state)
{
    if (state == running)
        return;
    running = state;
    if (running) {
        startPending = false;
        failure = UpdateFailure();
        choice.updateStarted(engineOpenPath);
        updateStartMs = now();
        blockReports = 0;
        outcome = NoOutcome;
        deviceLost = false;
        logUpdateStart();
        progress = QStringLiteral("0 %");
    } else {
        progress.clear();
        recordEnd(QStringLiteral("failed")); // ended by neither outcome message
        failure = UpdateFailure();
        choice.updateEnded(outcome == UpdateDone);
        followChoice();
    }
    emit progressTextChanged();
    emit sigUpdateState(running);
}

void BackEnd::setProgressText(const QString &line)
{
    if (line == progress)
        return;
    progress = line;
    emit progressTextChanged();
}

void BackEnd::slot_DeviceChosen(QString path, int present)
{
    logMessage(false,
               text(LanguageConfig::textAccessoryChosen).arg(printableText(path)).arg(present));
}

void BackEnd::slot_ReceiveDeviceID(QString str)
{
    // Escaped where it enters: the identity line, the log and the mismatch question show the
    // device's own text, and no catalogue identity holds control characters to match against.
    lastDeviceId = printableText(str);
    // The engine forgets the identity the moment the device leaves: during an update, or just
    // after one that failed (a write may fail before the poll sees the device gone), that is
    // the sign the device was lost.
    if (lastDeviceId == QLatin1String("*")) {
        loggedOpen.clear();
        noteDeviceGone();
    } else if (records) {
        const QString line
            = QStringLiteral("accessory opened: path %1, serial %2, identity %3")
                  .arg(engineOpenPath.isEmpty() ? QStringLiteral("?") : engineOpenPath,
                       openSerial().isEmpty() ? QStringLiteral("none")
                                              : printableText(openSerial()),
                       lastDeviceId);
        // The engine repeats the identity of the accessory it keeps open: logged once.
        if (line != loggedOpen)
            records->support(line);
        loggedOpen = line;
    }
    emit deviceIdentityTextChanged();
}

QString BackEnd::deviceIdentityText() const
{
    if (lastDeviceId.isEmpty() || lastDeviceId == QLatin1String("*"))
        return QString();
    return text(LanguageConfig::textDeviceIdentity).arg(lastDeviceId);
}

QVariantMap BackEnd::uiTexts() const
{
    using L = LanguageConfig;
    return {
        {QStringLiteral("updateRunningQuestion"), text(L::textUpdateRunningQuestion)},
        {QStringLiteral("keepUpdating"), text(L::textKeepUpdating)},
        {QStringLiteral("closeAnyway"), text(L::textCloseAnyway)},
        {QStringLiteral("updateAnyway"), text(L::textUpdateAnyway)},
        {QStringLiteral("doNotUpdate"), text(L::textDoNotUpdate)},
        // The selection dialog's and the popup's fixed texts, bound from their first frame.
        {QStringLiteral("dialogTitle"), text(L::textTitle)},
        {QStringLiteral("open"), text(L::textOpen)},
        {QStringLiteral("cancel"), text(L::textCancel)},
        {QStringLiteral("selectedFirmware"), text(L::textSelectedFirmware)},
        {QStringLiteral("search"), text(L::textSearch)},
        {QStringLiteral("updateDetails"), text(L::textUpdateDetails)},
        {QStringLiteral("chooseFirmwareHint"), text(L::textChooseFirmwareHint)},
        {QStringLiteral("downloading"), text(L::textDownloading)},
        // The file dialog and what a screen reader calls the windows' parts.
        {QStringLiteral("fileFilter"), text(L::textFileFilter)},
        {QStringLiteral("fileNotOpenedWhileUpdating"), text(L::textFileNotOpenedWhileUpdating)},
        {QStringLiteral("usbConnected"), text(L::a11yUsbConnected)},
        {QStringLiteral("usbDisconnected"), text(L::a11yUsbDisconnected)},
        {QStringLiteral("logName"), text(L::a11yLog)},
        {QStringLiteral("progressName"), text(L::a11yProgress)},
        {QStringLiteral("languageLabel"), text(L::a11yLanguage)},
        {QStringLiteral("firmwareList"), text(L::a11yFirmwareList)},
        {QStringLiteral("accessory"), text(L::a11yAccessory)},
        {QStringLiteral("detailsName"), text(L::a11yDetails)},
        {QStringLiteral("downloadName"), text(L::a11yDownload)},
        {QStringLiteral("clearPick"), text(L::textAccessoryClearPick)},
        // The log view's menu.
        {QStringLiteral("logCopy"), text(L::textLogCopy)},
        {QStringLiteral("logSave"), text(L::textLogSave)},
        {QStringLiteral("logOpenFolder"), text(L::textLogOpenFolder)},
    };
}

// Qt's own dialogs (the file dialog's buttons and labels) follow the language where Qt ships a
// translation; without one they stay in Qt's English.
void BackEnd::loadQtTranslation()
{
    const QString locale = text(LanguageConfig::qtLocale).trimmed();
    if (locale == qtLocaleLoaded)
        return;
    QCoreApplication::removeTranslator(&qtTranslator);
    qtLocaleLoaded.clear();
    if (locale.isEmpty()
        || !qtTranslator.load(QStringLiteral("qtbase_") + locale,
                              QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        return;
    QCoreApplication::installTranslator(&qtTranslator);
    qtLocaleLoaded = locale;
}

QString BackEnd::qmlGetDeviceID()
{
    return lastDeviceId;
}

void BackEnd::qml_LangageSelectChange(int index)
{
    // Five is also the number of per-language slots in the catalogue records.
    if (index < 0 || index > 4 || index >= config.languageCount)
        return;
    currentLanguage = index;
    applyLanguage();
}

void BackEnd::qml_LanguageChosen(int index)
{
    // Only a choice the user made in the box: the box also changes when it is filled at start.
    if (rememberLanguage)
        LanguageChoice::remember(config, index);
}

void BackEnd::followUserLanguage()
{
    currentLanguage = LanguageChoice::forThisUser(config);
    rememberLanguage = true;
}

void BackEnd::applyLanguage()
{
    using L = LanguageConfig;
    emit siglangageChange(text(L::textTitle), text(L::textLocalFile), text(L::textUpdate),
                          text(L::textHelp), text(L::textExit), text(L::textNetFile));
    // The two headings stay empty until a firmware is selected.
    emit sigNetFileDialogLanguageChange(text(L::textOpen), text(L::textCancel),
                                        text(L::textSelectedFirmware), text(L::textFirmwareDesc),
                                        QString(), QString(), text(L::textSearch),
                                        text(L::textUpdateDetails));
    emit sigNetFileDialogWindowsTitle(text(L::textTitle));
    loadQtTranslation();
    emit uiTextsChanged();
    emit deviceIdentityTextChanged();
    emit accessoriesChanged();
    emit progressTextChanged(); // an outcome reads in the new language
    // A firmware's details and the popup's line were written in the language they were chosen in.
    if (selectedRecord >= 0)
        qml_TreeViewSelectDevice(true, selectedRecord);
    else
        emit sigSetCurSelectDevice(text(L::textSelectedFirmware));
    if (!downloadName.isEmpty())
        emit downloadTextChanged();
}

void BackEnd::initLanguageComboBox()
{
    QVariantList names;
    for (int i = 0; i < config.languageCount; ++i)
        names.append(config.text(LanguageConfig::languageName, i));
    emit sigInitLangageComboBox(names, config.languageCount, currentLanguage);
    emit sigSetHelpBtnMeg(config.helpHost);
}
