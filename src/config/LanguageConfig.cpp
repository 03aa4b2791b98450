#include "LanguageConfig.h"

#include <QFile>
#include <QLoggingCategory>
#include <tinyxml2.h>

Q_LOGGING_CATEGORY(lcConfig, "fwu.config")

namespace {

// The 31 entries every Config.xml supplies by position, in that order.
const char *const positionalTexts[LanguageConfig::positionalCount] = {
    "中文",
    "language1",
    "https://download.example.com/Downloads/Q7_firmware_20241205_v2.json",
    "Tarvo固件升级软件",
    "本地文件",
    "网络文件",
    "详细修改记录",
    "升级",
    "退出",
    "帮助",
    "打开",
    "取消",
    "打开文件失败",
    "文件大小不合格",
    "读取文件失败",
    "打开文件成功",
    "连接设备成功",
    "设备断开连接",
    "请先连接设备",
    "请先打开文件",
    "更新设备失败",
    "更新设备成功",
    "选择的固件与设备不匹配",
    "网络错误",
    "选中的固件:",
    "固件说明:",
    "更新内容:",
    "注意事项:",
    "查找:",
    "版本号：",
    "发布时间：",
};

// The entries the program added later, found by their element names, so that a language leaving
// one out shifts nothing after it. New entries fall back to English.
struct NamedText
{
    const char *element;
    const char *fallback;
};
const NamedText namedTexts[LanguageConfig::EntryCount - LanguageConfig::positionalCount] = {
    {"msg_device_permission",
     "已找到设备，但无法打开：权限不足 — 请参阅 "
     "/usr/share/doc/firmware-updater/troubleshooting.md"},
    {"already_running", "固件升级软件已在运行。"},
    {"update_running_question", "正在升级设备。现在关闭会使设备无法使用，直到再次升级。"},
    {"keep_updating", "继续升级"},
    {"close_anyway", "仍然关闭"},
    {"mismatch_question", "所选固件适用于设备 %1，但连接的设备是 %2。仍要升级吗？"},
    {"update_anyway", "仍然升级"},
    {"do_not_update", "不升级"},
    {"time_left", "剩余 %1"},
    {"device_identity", "设备：%1"},
    {"qt_locale", "zh_CN"},
    {"col_category", "类别"},
    {"col_device", "设备"},
    {"col_name", "名称"},
    {"text_waiting_for_device", "正在等待设备（最多 %1 秒）…"},
    {"text_interrupt_hint",
     "正在升级设备。现在停止会使设备无法使用，必须再次升级。3 秒内再按一次 Ctrl+C 即停止。"},
    {"text_interrupt_stopping", "正在停止升级；设备必须再次升级。"},
    {"choose_firmware_hint", "请选择一个固件以查看其详情"},
    {"downloading", "正在下载 %1"},
    {"accessory_chosen", "使用设备 %1（共连接 %2 个）"},
    {"update_started", "开始升级：%1（%2 字节），设备 %3"},
    {"outcome_done", "升级完成，可以拔下设备"},
    {"outcome_failed", "升级失败：请重新连接设备后再次升级"},
    {"outcome_lost", "升级失败：设备已断开，请重新连接设备后再次升级"},
    {"reason_no_start_ack", "the accessory did not acknowledge the start command"},
    {"reason_no_prepare_ack", "the accessory did not acknowledge the prepare command"},
    {"reason_no_block_ack", "the accessory did not acknowledge block %1 of %2"},
    {"reason_command_write_failed", "sending the update commands to the accessory failed"},
    {"reason_block_write_failed", "writing block %1 of %2 failed"},
    {"reason_unplugged_before_blocks", "the accessory was unplugged before the first block"},
    {"reason_unplugged_during_block", "the accessory was unplugged during block %1 of %2"},
    {"reason_image_unreadable", "the image could not be read at block %1"},
    {"catalogue_unsigned", "Catalogue refused: no signature was found for %1"},
    {"catalogue_bad_signature", "Catalogue refused: the signature of %1 is not valid"},
    {"catalogue_unknown_key",
     "Catalogue refused: %1 is signed by a key this program does not trust"},
    {"catalogue_replayed", "Catalogue refused: %1 is older than one already received"},
    {"download_mismatch",
     "%1: the download does not match the catalogue (expected %2…, received %3…)"},
    {"firmware_unverified", "%1 has no digest in the catalogue: the download is not verified"},
    {"record_without_digest", "%1 refused: the signed catalogue gives it no digest"},
    {"unverified_mark", "(not verified)"},
    {"download_write_failed", "Cannot save the download %1: %2"},
    {"image_digest", "%1 bytes, SHA-256 %2…"},
    {"image_digest_mismatch", "the image's SHA-256 is %1, not the %2 given: nothing was written"},
    {"loading_catalogue", "Loading the firmware catalogue…"},
    {"history_unwritable", "The update history cannot be written (%1); the update goes on."},
    {"history_empty", "No updates recorded yet."},
    {"history_line", "%1  %2 into %3: %4"},
    {"history_done", "done"},
    {"history_failed", "failed"},
    {"history_lost", "accessory lost"},
    {"history_interrupted", "interrupted"},
    {"history_unfinished", "unfinished (cut off, or still running in another copy)"},
    {"program_version", "Firmware updater %1"},
    {"log_copy", "Copy the log"},
    {"log_save", "Save the log as a file…"},
    {"log_open_folder", "Open the log folder"},
    {"log_save_failed", "The log could not be saved: %1"},
    {"file_not_opened_while_updating", "An update is running: %1 was not opened"},
    {"file_filter", "Firmware files (*.bin)"},
    {"a11y_usb_connected", "USB: accessory connected"},
    {"a11y_usb_disconnected", "USB: no accessory connected"},
    {"a11y_log", "Messages"},
    {"a11y_progress", "Update progress"},
    {"a11y_language", "Language"},
    {"a11y_firmware_list", "Firmware list"},
    {"a11y_accessory", "Accessory"},
    {"a11y_details", "Firmware details"},
    {"a11y_download", "Firmware download"},
    {"accessory_pick_hint", "Several accessories are connected: pick the one to update"},
    {"accessory_picked", "To update: %1"},
    {"accessory_busy", "busy"},
    {"accessory_legacy", "legacy"},
    {"accessory_clear_pick", "Clear choice"},
    {"accessory_away", "%1 is not connected: plug it in again, or pick another accessory"},
    {"accessory_busy_log", "%1 is in use by another copy of the program"},
    {"accessory_instead_question", "%1 is not connected. Update %2 instead?"},
    {"accessory_update_instead", "Update %1"},
    {"outcome_done_named", "Update done: %1"},
    {"outcome_failed_named", "Update of %1 failed: reconnect it and update again"},
    {"outcome_lost_named", "%1 lost: reconnect it and update again"},
    {"failure_on", "%1: %2"},
    {"cli_no_accessory_named", "no accessory named %1; present: %2"},
    {"cli_no_firmware_for_device", "the catalogue has no firmware for device %1"},
    {"cli_firmware_for_other", "firmware for %1, the device is %2"},
    {"cli_identity_unknown",
     "the device reports its identity as \"*\" (not known): name the firmware's DEVICE_ID"},
    {"cli_no_identity",
     "the device reports no identity (a legacy device): name the firmware's DEVICE_ID"},
    {"cli_http_status", "the server answered HTTP status %1 for %2"},
    {"cli_not_a_url", "not an http, https or file URL: %1"},
    {"cli_not_a_catalogue", "not a firmware catalogue: %1"},
    {"cli_no_download_folder", "cannot create a download folder in %1"},
    {"cli_several_accessories",
     "%1 accessories are plugged in; name the one to update with --device SERIAL (or its path), or "
     "update each with --all:%2"},
    {"cli_no_serial", "(no serial)"},
    {"cli_none", "none"},
    {"cli_all_busy", "%1 (busy: %2)"},
    {"cli_busy_because", "busy: %1"},
    {"cli_expected_count", "%1 accessories found, %2 expected: %3"},
    {"cli_force_hint", "%1; --force flashes it anyway"},
    {"cli_free", "free"},
    {"cli_result_updated", "updated"},
    {"cli_result_skipped", "skipped"},
    {"cli_station_counts", "(updated %1, failed %2)"},
    {"cli_name_several", "%1 names several accessories: %2; name one by its path"},
};

constexpr int maxLanguages = 5;

QString elementText(const tinyxml2::XMLElement *element)
{
    const char *text = element ? element->GetText() : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

QString LanguageConfig::builtInText(Entry entry)
{
    if (entry < 0 || entry >= EntryCount)
        return {};
    return QString::fromUtf8(entry < positionalCount
                                 ? positionalTexts[entry]
                                 : namedTexts[entry - positionalCount].fallback);
}

QString LanguageConfig::elementName(Entry entry)
{
    if (entry < positionalCount || entry >= EntryCount)
        return {};
    return QString::fromLatin1(namedTexts[entry - positionalCount].element);
}

QString LanguageConfig::builtInHelpHost()
{
    return QStringLiteral("duckduckgo.com");
}

QString LanguageConfig::text(Entry entry, int language) const
{
    if (entry < 0 || entry >= EntryCount)
        return {};
    return entries[entry].value(language);
}

void LanguageConfig::readLanguage(const tinyxml2::XMLElement *lang)
{
    // The first 31 children by position (a short element leaves the rest at their built-in
    // value); the later entries by element name, the first of that name counting.
    const tinyxml2::XMLElement *child = lang->FirstChildElement();
    for (int i = 0; i < positionalCount; ++i) {
        entries[i].append(child ? elementText(child) : builtInText(Entry(i)));
        if (child)
            child = child->NextSiblingElement();
    }
    for (int i = positionalCount; i < EntryCount; ++i) {
        const QByteArray name = elementName(Entry(i)).toLatin1();
        const tinyxml2::XMLElement *named = lang->FirstChildElement(name.constData());
        entries[i].append(named ? elementText(named) : builtInText(Entry(i)));
        if (i == qtLocale)
            fileQtLocales.append(named ? elementText(named).trimmed() : QString());
    }
}

void LanguageConfig::useBuiltInTable()
{
    languageCount = 1;
    helpHost = builtInHelpHost();
    fileQtLocales.clear();
    networkFirmware = false;
    cataloguePublicKeys.clear();
    for (int i = 0; i < EntryCount; ++i)
        entries[i] = QStringList {builtInText(Entry(i))};
}

bool LanguageConfig::loadConfigFile(const QString &path)
{
    // Read through QFile rather than a narrow file name, so a program folder with non-ASCII
    // characters in its path finds its configuration on every platform.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(lcConfig) << "no configuration at" << path << "- using the built-in texts";
        useBuiltInTable();
        return false;
    }
    const QByteArray bytes = file.readAll();

    tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
    if (doc.Parse(bytes.constData(), size_t(bytes.size())) != tinyxml2::XML_SUCCESS
        || !doc.RootElement()) {
        qCWarning(lcConfig).noquote()
            << QStringLiteral("%1: not a usable XML document (line %2): %3")
                   .arg(path)
                   .arg(doc.ErrorLineNum())
                   .arg(QString::fromUtf8(doc.ErrorStr()));
        useBuiltInTable();
        return false;
    }

    const tinyxml2::XMLElement *root = doc.RootElement();
    const tinyxml2::XMLElement *help = root->FirstChildElement("help_url");
    helpHost = help ? elementText(help) : builtInHelpHost();
    networkFirmware = elementText(root->FirstChildElement("network_firmware")).trimmed()
        == QLatin1String("true");
    cataloguePublicKeys.clear();
    for (const auto *key = root->FirstChildElement("catalogue_public_key"); key;
         key = key->NextSiblingElement("catalogue_public_key"))
        cataloguePublicKeys.append(elementText(key).trimmed());

    // The program switches between at most five languages (the catalogue has five language
    // slots); any further language is neither read nor offered in the language box.
    languageCount = 0;
    for (auto &entry : entries)
        entry = QStringList();
    fileQtLocales.clear();
    for (const auto *lang = root->FirstChildElement("language");
         lang && languageCount < maxLanguages; lang = lang->NextSiblingElement("language")) {
        ++languageCount;
        readLanguage(lang);
    }
    if (languageCount == 0) {
        // A file without any language would leave the controller without texts.
        qCWarning(lcConfig).noquote()
            << path << "has no <language> element - using the built-in texts";
        const QString host = helpHost;
        const QStringList keys
            = cataloguePublicKeys; // texts missing must not lift the signing rule
        useBuiltInTable();
        helpHost = host;
        cataloguePublicKeys = keys;
    }
    return true;
}
