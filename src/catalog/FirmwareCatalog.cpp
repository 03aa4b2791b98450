#include "FirmwareCatalog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <cctype>

Q_LOGGING_CATEGORY(lcCatalog, "fwu.catalog")

namespace {

// Every value is read as text: wrong types and missing keys give an empty text, never a failure.
// Objects are walked once, key by key, rather than asked for each key: for records this size a
// lookup by key costs more than the text it finds.

// The slot of a key "language1" to "language5"; -1 for any other key.
int languageSlot(const QString &key)
{
    if (key.size() != 9 || !key.startsWith(QLatin1String("language")))
        return -1;
    const int slot = key.at(8).unicode() - '1';
    return slot >= 0 && slot < FirmwareLanguageSlots ? slot : -1;
}

void readTexts(const QJsonObject &object, FirmwareTexts *texts, QString *id = nullptr)
{
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        const QString key = it.key();
        const int slot = languageSlot(key);
        if (slot >= 0)
            (*texts)[static_cast<size_t>(slot)] = it.value().toString();
        else if (id && key == QLatin1String("id"))
            *id = it.value().toString();
    }
}

void readCategory(const QJsonValue &value, FirmwareCategory *category)
{
    readTexts(value.toObject(), &category->names, &category->id);
}

bool isHexDigest(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!isxdigit(c.unicode() < 128 ? c.toLatin1() : 'x'))
            return false;
    }
    return true;
}

// A digest that is not one must not read as "no digest": that would make the record unverified
// instead of refused.
void readDigest(const QJsonValue &value, FirmwareInfo *info)
{
    const QString text = value.toString().trimmed();
    info->sha256 = isHexDigest(text) ? text.toLower() : QStringLiteral("-");
}

void readField(const QString &key, const QJsonValue &value, FirmwareInfo *info, QString *url)
{
    if (key == QLatin1String("device_id"))
        info->device_id = value.toString();
    else if (key == QLatin1String("version"))
        info->version = value.toString();
    else if (key == QLatin1String("release_date"))
        info->release_date = value.toString();
    else if (key == QLatin1String("firmware_url"))
        *url = value.toString();
    else if (key == QLatin1String("update_contents_url"))
        info->update_contents_url = value.toString();
    else if (key == QLatin1String("update_contents"))
        readTexts(value.toObject(), &info->update_contents);
    else if (key == QLatin1String("remark"))
        readTexts(value.toObject(), &info->remark);
    else if (key == QLatin1String("category1"))
        readCategory(value, &info->category1);
    else if (key == QLatin1String("category2"))
        readCategory(value, &info->category2);
    else if (key == QLatin1String("category3"))
        readCategory(value, &info->category3);
    else if (key == QLatin1String("sha256"))
        readDigest(value, info);
    else if (key == QLatin1String("size") && value.isDouble() && value.toDouble() >= 0)
        info->size = qint64(value.toDouble());
}

// Fills a record in place.
void readRecord(const QJsonObject &object, const QString &baseUrl, FirmwareInfo *info)
{
    QString url;
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it)
        readField(it.key(), it.value(), info, &url);
    info->firmware_url = baseUrl + QLatin1Char('/') + url;
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
    baseUrl = document.value(QLatin1String("base_url")).toString();
    const QJsonArray firmwares = document.value(QLatin1String("Firmwares")).toArray();
    QVector<FirmwareInfo> parsed(firmwares.size());
    FirmwareInfo *info = parsed.data();
    for (const QJsonValue &element : firmwares)
        readRecord(element.toObject(), baseUrl, info++);
    records = std::move(parsed);
    isSigned = false;
    unverifiedNoted.clear();
    count = records.size();
    indexForSearch();
}
