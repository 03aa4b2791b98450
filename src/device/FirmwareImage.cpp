#include "FirmwareImage.h"

#include <QUrl>

QString FirmwareImage::resolvePath(const QString &path)
{
    const QUrl url(path, QUrl::TolerantMode);
    return url.isLocalFile() ? url.toLocalFile() : path;
}

bool FirmwareImage::open(const QString &path)
{
    if (file.isOpen())
        file.close();
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

void FirmwareImage::close()
{
    if (file.isOpen())
        file.close();
}

void FirmwareImage::measure()
{
    size = uint32_t(file.size());
    // Computed in 32 bits on purpose: images above 4 GiB lie outside the protocol's arithmetic.
    count = uint32_t(size + 1023u) / blockSize;
}

FirmwareImage::Block FirmwareImage::nextBlock()
{
    Block block;
    char raw[blockSize];
    const qint64 got = file.isOpen() ? file.read(raw, blockSize) : 0;
    const uint32_t delivered = got > 0 ? uint32_t(got) : 0;
    for (uint32_t i = 0; i < blockSize; ++i) {
        uint8_t value = 0xFF;
        if (consumed < size) {
            value = i < delivered ? uint8_t(raw[i]) : 0x00;
            ++consumed;
        }
        block.bytes[i] = value;
        block.checksum += value;
    }
    return block;
}
