#include "BackEnd.h"

#include "FileUtils.h"
#include "MessageId.h"
#include "WorkerThread.h"

#include <QFileInfo>
#include <QTime>

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
    connect(&downloader, &FileDownloader::downLoadProgress, this, &BackEnd::sigProgressCtrl);
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
    emit sigOutputMsg(red ? QStringLiteral("red") : QStringLiteral("black"),
                      timeStamp(now.hour(), now.minute(), now.second()) + text);
}

void BackEnd::slot_MainTastOutputMsg(int index)
{
    if (index < 0 || index >= messageCount)
        return;
    logMessage(messageTable[index].red, text(messageTable[index].entry));
}

void BackEnd::windowsClose()
{
    stopWorkerThread();
}

void BackEnd::openFirwareFile(QString str)
{
    logMessage(false, text(LanguageConfig::msgOpenFileOk) + " " + QFileInfo(str).fileName());
    emit sig_SetFilePath(str);
}

void BackEnd::fromUiEevent(int Event)
{
    if (Event == 1)
        emit sig_StartUpdate();
}

void BackEnd::slot_MainTaskChangeUsbConnectStatus(bool status)
{
    emit sigUsbConnectStatus(status ? 1 : 0);
}

void BackEnd::slot_mainTaskChangeProgressValue(int value)
{
    emit sigProgressValue(value);
}

void BackEnd::slot_ReceiveDeviceID(QString str)
{
    lastDeviceId = str;
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
}

void BackEnd::initLanguageComboBox()
{
    QVariantList names;
    for (int i = 0; i < config.languageCount; ++i)
        names.append(config.text(LanguageConfig::languageName, i));
    emit sigInitLangageComboBox(names, config.languageCount, currentLanguage);
    emit sigSetHelpBtnMeg(config.helpHost);
}
