#include "CatalogueTrust.h"

#include "FirmwareInfo.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTrust, "fwu.trust")

CatalogueTrust::CatalogueTrust(const QStringList &keyLines, ReplayGuard *guard)
    : guard(guard)
{
    for (const QString &line : keyLines) {
        MinisignSignature::PublicKey key;
        if (MinisignSignature::parsePublicKey(line.trimmed(), &key))
            keys.append(key);
        else
            qCWarning(lcTrust) << "not a minisign public key, left out:" << line.trimmed();
    }
}

QUrl CatalogueTrust::signatureUrl(const QUrl &catalogue)
{
    QUrl url = catalogue;
    url.setPath(catalogue.path(QUrl::FullyEncoded) + QStringLiteral(".minisig"),
                QUrl::TolerantMode);
    return url;
}

CatalogueTrust::Verdict CatalogueTrust::check(const QString &catalogueUrl,
                                              const QByteArray &catalogue,
                                              const QByteArray *signature)
{
    timestamp = -1;
    if (!required())
        return Verdict::NotRequired;
    if (!signature)
        return Verdict::Missing;
    MinisignSignature parsed;
    if (!parsed.parse(*signature))
        return Verdict::Invalid;
    switch (parsed.verify(catalogue, keys)) {
    case MinisignSignature::Result::Valid:
        break;
    case MinisignSignature::Result::UnknownKey:
        qCWarning(lcTrust) << "catalogue signed by key" << parsed.keyIdHex();
        return Verdict::UnknownKey;
    default:
        return Verdict::Invalid;
    }
    timestamp = parsed.timestamp();
    if (guard && !guard->accepts(catalogueUrl, timestamp)) {
        qCWarning(lcTrust) << "catalogue signed at" << timestamp << "older than"
                           << guard->newestSeen(catalogueUrl);
        return Verdict::Replayed;
    }
    if (guard)
        guard->remember(catalogueUrl, timestamp);
    return Verdict::Trusted;
}

LanguageConfig::Entry CatalogueTrust::reason(Verdict verdict)
{
    using L = LanguageConfig;
    switch (verdict) {
    case Verdict::Missing:
        return L::textCatalogueUnsigned;
    case Verdict::UnknownKey:
        return L::textCatalogueUnknownKey;
    case Verdict::Replayed:
        return L::textCatalogueReplayed;
    default:
        return L::textCatalogueBadSignature;
    }
}

bool CatalogueTrust::recordUsable(const FirmwareInfo &record, bool catalogueSigned)
{
    return !catalogueSigned || !record.sha256.isEmpty();
}
