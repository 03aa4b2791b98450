#include "ContentDecoder.h"

#include <zlib.h>

ContentDecoder::Result ContentDecoder::decode(const QByteArray &encoding, QByteArray &body,
                                              qint64 maxSize)
{
    const QByteArray name = encoding.trimmed().toLower();
    // An empty body (a 204, say) encodes nothing.
    if (name.isEmpty() || name == "identity" || body.isEmpty())
        return Result::Decoded;
    if (name == "gzip" || name == "x-gzip" || name == "deflate")
        return inflate(body, maxSize);
    return Result::Unsupported;
}

ContentDecoder::Result ContentDecoder::inflate(QByteArray &body, qint64 maxSize)
{
    z_stream z {};
    // 32 added to the window bits: zlib tells a gzip from a zlib ("deflate") header itself.
    if (inflateInit2(&z, MAX_WBITS + 32) != Z_OK)
        return Result::Corrupt;
    z.next_in = reinterpret_cast<Bytef *>(body.data());
    z.avail_in = uInt(body.size());
    QByteArray out;
    char chunk[64 * 1024];
    Result result = Result::CutShort;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef *>(chunk);
        z.avail_out = sizeof chunk;
        const int rc = ::inflate(&z, Z_NO_FLUSH);
        out.append(chunk, int(sizeof chunk - z.avail_out));
        if (out.size() > maxSize) {
            result = Result::TooLarge;
            break;
        }
        if (rc == Z_STREAM_END) {
            // A gzip body may hold several members one after the other.
            if (z.avail_in == 0) {
                result = Result::Decoded;
                break;
            }
            inflateReset(&z);
            continue;
        }
        if (rc == Z_BUF_ERROR && z.avail_in == 0)
            break; // the input ended inside the stream: cut short
        if (rc != Z_OK) {
            result = Result::Corrupt;
            break;
        }
    }
    inflateEnd(&z);
    if (result == Result::Decoded)
        body = out;
    return result;
}
