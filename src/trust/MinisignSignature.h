#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A minisign public key and detached signature, as `minisign -G` and `minisign -S` write them.
// Both algorithms are read: the legacy one signs the file itself, the prehashed one (minisign's
// default) its BLAKE2b-512 digest. The signature is valid only when both the file's signature and
// the global one over that signature and the trusted comment verify.
class MinisignSignature
{
public:
    struct PublicKey
    {
        QByteArray keyId; // 8 bytes, as minisign prints them reversed
        QByteArray key; // 32 bytes, Ed25519
    };

    enum class Result {
        Valid,
        Malformed, // not a minisign signature file
        UnknownKey, // signed by a key not given
        Invalid, // the file or the trusted comment does not match the signature
    };

    // The base64 key line of a public key file; false when it is not one.
    static bool parsePublicKey(const QString &line, PublicKey *out);

    // Reads a signature file; false when it is not one.
    bool parse(const QByteArray &file);
    // Checks the signature of message against the key whose id the signature names.
    Result verify(const QByteArray &message, const QVector<PublicKey> &keys) const;

    QString trustedComment() const { return comment; }
    // The N of "timestamp:N" in the trusted comment; -1 when it carries none.
    qint64 timestamp() const;
    bool isPrehashed() const { return prehashed; }
    QString keyIdHex() const;

private:
    bool prehashed = false;
    QByteArray keyId;
    QByteArray signature; // 64 bytes
    QString comment;
    QByteArray commentBytes;
    QByteArray globalSignature; // 64 bytes
};
