#include "MinisignSignature.h"

#include <QList>
#include <QVector>

#include <sodium.h>

namespace {

constexpr int keyIdSize = 8;
constexpr int signatureSize = crypto_sign_BYTES;

// Strict base64: minisign writes no line breaks or padding errors, anything else is not its file.
bool decodeBase64(const QByteArray &text, QByteArray *out)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        text.trimmed(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    *out = *decoded;
    return true;
}

QByteArray afterPrefix(const QByteArray &line, const char *prefix)
{
    return line.startsWith(prefix) ? line.mid(int(qstrlen(prefix))) : QByteArray();
}

} // namespace

bool MinisignSignature::parsePublicKey(const QString &line, PublicKey *out)
{
    QByteArray raw;
    if (!decodeBase64(line.toLatin1(), &raw)
        || raw.size() != 2 + keyIdSize + crypto_sign_PUBLICKEYBYTES || !raw.startsWith("Ed"))
        return false;
    out->keyId = raw.mid(2, keyIdSize);
    out->key = raw.mid(2 + keyIdSize);
    return true;
}

bool MinisignSignature::parse(const QByteArray &file)
{
    QList<QByteArray> lines = file.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.size() < 4 || !lines[0].startsWith("untrusted comment: "))
        return false;
    QByteArray raw;
    if (!decodeBase64(lines[1], &raw) || raw.size() != 2 + keyIdSize + signatureSize)
        return false;
    const QByteArray algorithm = raw.left(2);
    if (algorithm != "Ed" && algorithm != "ED")
        return false;
    prehashed = algorithm == "ED";
    keyId = raw.mid(2, keyIdSize);
    signature = raw.mid(2 + keyIdSize);
    commentBytes = afterPrefix(lines[2], "trusted comment: ");
    if (!lines[2].startsWith("trusted comment: "))
        return false;
    comment = QString::fromUtf8(commentBytes);
    return decodeBase64(lines[3], &globalSignature) && globalSignature.size() == signatureSize;
}

MinisignSignature::Result MinisignSignature::verify(const QByteArray &message,
                                                    const QVector<PublicKey> &keys) const
{
    if (signature.size() != signatureSize || sodium_init() < 0)
        return Result::Malformed;
    const PublicKey *key = nullptr;
    for (const PublicKey &candidate : keys) {
        if (candidate.keyId == keyId)
            key = &candidate;
    }
    if (!key)
        return Result::UnknownKey;
    const auto *pk = reinterpret_cast<const unsigned char *>(key->key.constData());
    QByteArray signedBytes = message;
    if (prehashed) {
        signedBytes.resize(crypto_generichash_BYTES_MAX);
        crypto_generichash(reinterpret_cast<unsigned char *>(signedBytes.data()),
                           size_t(signedBytes.size()),
                           reinterpret_cast<const unsigned char *>(message.constData()),
                           quint64(message.size()), nullptr, 0);
    }
    if (crypto_sign_verify_detached(
            reinterpret_cast<const unsigned char *>(signature.constData()),
            reinterpret_cast<const unsigned char *>(signedBytes.constData()),
            quint64(signedBytes.size()), pk)
        != 0)
        return Result::Invalid;
    // The trusted comment (and so its timestamp) is bound to the signature by the global one.
    const QByteArray global = signature + commentBytes;
    if (crypto_sign_verify_detached(
            reinterpret_cast<const unsigned char *>(globalSignature.constData()),
            reinterpret_cast<const unsigned char *>(global.constData()), quint64(global.size()), pk)
        != 0)
        return Result::Invalid;
    return Result::Valid;
}

qint64 MinisignSignature::timestamp() const
{
    // "timestamp:1700000000\tfile:catalogue.json\thashed": fields split by tabs.
    for (const QString &field : comment.split(QLatin1Char('\t'))) {
        if (!field.startsWith(QLatin1String("timestamp:")))
            continue;
        bool ok = false;
        const qint64 value = field.mid(10).trimmed().toLongLong(&ok);
        return ok && value >= 0 ? value : -1;
    }
    return -1;
}

QString MinisignSignature::keyIdHex() const
{
    QByteArray reversed(keyId.size(), '\0');
    std::copy(keyId.crbegin(), keyId.crend(), reversed.begin());
    return QString::fromLatin1(reversed.toHex().toUpper());
}
