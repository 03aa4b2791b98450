// The controller's catalogue side: searching the tree and the selected firmware's details.
#include "BackEnd.h"

#include "TreeViewModel.h"
#include "UrlUtils.h"

#include <QFileInfo>
#include <QUrl>

void BackEnd::qml_SearchButtonClicked(QString str)
{
    if (treeModel)
        treeModel->buildTree(catalog, currentLanguage, str);
}

void BackEnd::qml_TreeViewSelectDevice(bool isDevice, int DevNum)
{
    using L = LanguageConfig;
    // No firmware, no details: the dialog shows its hint instead.
    if (!isDevice) {
        selectedRecord = -1;
        emit sigSetCurSelectDevice(text(L::textSelectedFirmware));
        emit sigSetDetailMsg(QString(), QString(), QString(), QString(), QString(), QString(),
                             QString());
        return;
    }
    // A position from a stale or forged row must not index past the records.
    if (DevNum < 0 || DevNum >= catalog.records.size())
        return;
    selectedRecord = DevNum;
    const FirmwareInfo &r = catalog.records[DevNum];
    // A record without a digest is marked where it is chosen: its download cannot be checked.
    const QString unverified
        = r.sha256.isEmpty() ? QStringLiteral(" ") + text(L::textUnverifiedMark) : QString();
    emit sigSetCurSelectDevice(text(L::textSelectedFirmware) + r.device_id + " "
                               + text(L::textVersion) + r.version + unverified);
    const QString msgUrl
        = getUrlRoot(text(L::catalogueUrl)) + "/" + catalog.baseUrl + "/" + r.update_contents_url;
    emit sigSetDetailMsg(text(L::textFirmwareDesc),
                         text(L::textVersion) + r.version + " " + text(L::textReleaseDate)
                             + r.release_date,
                         text(L::textUpdates), r.update_contents.in(currentLanguage),
                         text(L::textRemark), r.remark.in(currentLanguage), msgUrl);
}

QString BackEnd::storedCataloguePath() const
{
    const QString name
        = QUrl(config.text(LanguageConfig::catalogueUrl, 0)).fileName(QUrl::FullyDecoded);
    return isSafeFileName(name) ? appPaths.downloadDir + name : QString();
}

bool BackEnd::jsonFileIsExists()
{
    const QString path = storedCataloguePath();
    return !path.isEmpty() && QFileInfo(path).isFile();
}
