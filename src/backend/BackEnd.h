#pragma once

#include "AppPaths.h"
#include "FileDownloader.h"
#include "FirmwareCatalog.h"
#include "LanguageConfig.h"

#include <QObject>
#include <QString>
#include <QVariantList>

class TreeViewModel;

// The one object the QML interface talks to ("backend"): relays commands to the engine and its
// reports back, writes the numbered, coloured message log, and owns texts, catalogue and downloads.
class BackEnd : public QObject
{
    Q_OBJECT
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
    const AppPaths &paths() const { return appPaths; }
    Q_INVOKABLE QString qmlGetDeviceID();

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

public slots:
    void windowsClose();
    void openFirwareFile(QString str);
    void fromUiEevent(int Event);
    void slot_MainTaskChangeUsbConnectStatus(bool status);
    void slot_mainTaskChangeProgressValue(int value);
    void slot_MainTastOutputMsg(int index);
    void qml_LangageSelectChange(int index);
    void qml_TreeViewSelectDevice(bool isDevice, int DevNum);
    void qml_OpenNetFile(int DevNum);
    void qml_LoadJsonFile();
    void qml_SearchButtonClicked(QString str);
    void slot_ReceiveDeviceID(QString str);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    QString text(LanguageConfig::Entry entry) const;
    // The stored catalogue's path when the first language's catalogue URL names a usable file
    // there, else an empty string. The catalogue is always fetched for the first language.
    QString storedCataloguePath() const;

    AppPaths appPaths;
    LanguageConfig config;
    int currentLanguage = 0;
    FirmwareCatalog catalog;
    FileDownloader downloader;
    QString lastDeviceId;
    bool networkFirmwareForced = false;
};
