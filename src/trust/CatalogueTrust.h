#pragma once

#include "LanguageConfig.h"
#include "MinisignSignature.h"
#include "ReplayGuard.h"

#include <QStringList>
#include <QUrl>
#include <QVector>

struct FirmwareInfo;

// The rules a catalogue meets before it is parsed: with public keys configured, a valid detached
// minisign signature by one of them, not older than the newest seen; then every record used must
// carry a digest. Without keys every catalogue is used, as before keys existed.
class CatalogueTrust
{
public:
    enum class Verdict { NotRequired, Trusted, Missing, Invalid, UnknownKey, Replayed };

    // keyLines: the <catalogue_public_key> values; lines that are no key are left out with a
    // warning.
    CatalogueTrust(const QStringList &keyLines, ReplayGuard *guard);

    bool required() const { return !keys.isEmpty(); }
    // Where the signature of a catalogue lies: ".minisig" appended to its path, query kept.
    static QUrl signatureUrl(const QUrl &catalogue);

    // signature is null when none could be had. A trusted catalogue's timestamp is remembered.
    Verdict check(const QString &catalogueUrl, const QByteArray &catalogue,
                  const QByteArray *signature);
    // The timestamp of the last signature checked, -1 when none.
    qint64 lastTimestamp() const { return timestamp; }

    // Why a catalogue was refused, a text with %1 for its address.
    static LanguageConfig::Entry reason(Verdict verdict);
    // Whether a record may be downloaded: a signed catalogue's records must carry a digest.
    static bool recordUsable(const FirmwareInfo &record, bool catalogueSigned);

private:
    QVector<MinisignSignature::PublicKey> keys;
    ReplayGuard *guard;
    qint64 timestamp = -1;
};
