#pragma once

#include <QByteArray>

// Undoes a body's Content-Encoding. The downloader asks for gzip and deflate itself rather than
// leaving the decoding to Qt, which takes a gzip stream cut short for a whole body: here a stream
// that ends before its last block is told apart from one that ends where it should.
class ContentDecoder
{
public:
    enum class Result { Decoded, CutShort, Corrupt, TooLarge, Unsupported };

    // Decodes body in place; an empty or "identity" encoding leaves it as it is. A decoded body
    // larger than maxSize is refused, so that a small encoded body cannot fill the disk.
    static Result decode(const QByteArray &encoding, QByteArray &body, qint64 maxSize);

private:
    static Result inflate(QByteArray &body, qint64 maxSize);
};
