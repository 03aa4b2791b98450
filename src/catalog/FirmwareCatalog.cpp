#include "FirmwareCatalog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCatalog, "fwu.catalog")

namespace {

// Every value is read as text: wrong types and missing keys give an empty text, never a failure.
QString textOf(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

FirmwareTexts languageTexts(const QJsonObject &object)
{
    FirmwareTexts texts;
    for (int slot = 0; slot < FirmwareLanguageSlots; ++slot)
        texts[static_cast<size_t>(slot)]
            = object.value(QStringLiteral("language%1").arg(slot + 1)).toString();
    return texts;
}

FirmwareCategory categoryOf(const QJsonObject &object)
{
    return {textOf(object, "id"), languageTexts(object)};
}

FirmwareInfo recordOf(const QJsonObject &object, const QString &baseUrl)
{
    FirmwareInfo info;
    info.device_id = textOf(object, "device_id");
    info.version = textOf(object, "version");
    info.release_date = textOf(object, "release_date");
    info.firmware_url = baseUrl + QLatin1Char('/') + textOf(object, "firmware_url");
    info.update_contents_url = textOf(object, "update_contents_url");
    info.update_contents = languageTexts(object.value(QLatin1String("update_contents")).toObject());
    info.remark = languageTexts(object.value(QLatin1String("remark")).toObject());
    info.category1 = categoryOf(object.value(QLatin1String("category1")).toObject());
    info.category2 = categoryOf(object.value(QLatin1String("category2")).toObject());
    info.category3 = categoryOf(object.value(QLatin1String("category3")).toObject());
    return info;
}

} // namespace

bool FirmwareCatalog::parseJsonFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(lcCatalog).noquote() << "无法打开文件:" << file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    return parseJson(bytes);
}

bool FirmwareCatalog::parseJson(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (document.isNull()) {
        qCWarning(lcCatalog).noquote() << "JSON 格式无效!";
        return false;
    }
    if (document.isArray())
        return false;
    if (!document.isObject()) {
        qCWarning(lcCatalog).noquote() << "JSON 既不是对象也不是数组!";
        return false;
    }
    parseDocument(document.object());
    return true;
}

void FirmwareCatalog::parseDocument(const QJsonObject &document)
{
    baseUrl = textOf(document, "base_url");
    const QJsonArray firmwares = document.value(QLatin1String("Firmwares")).toArray();
    QVector<FirmwareInfo> parsed;
    parsed.reserve(firmwares.size());
    for (const QJsonValue &element : firmwares)
        parsed.append(recordOf(element.toObject(), baseUrl));
    records = std::move(parsed);
    count = records.size();
}
