#pragma once

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <array>
#include <cstdint>
#include <memory>

// The image file of an update, delivered as 1024-byte blocks in file order. Past the end of the
// file a block is filled with 0xFF. A block whose bytes inside the image the file no longer
// delivers (the file shrank or became unreadable) comes back marked incomplete, its missing bytes
// as 0x00. Only one block is held in memory at a time; sizes are 64-bit throughout.
class FirmwareImage
{
public:
    static constexpr uint32_t blockSize = 1024;
    // The largest image taken: 64 MiB, 65,536 blocks, about twenty minutes over a full-speed link.
    // Accessory firmware is a few MiB; anything far larger is the wrong file.
    static constexpr quint64 maxSize = quint64(64) * 1024 * 1024;
    // Block indices a header can carry: 32 bits in the V20 header, 12 bits in the legacy one.
    static constexpr quint64 v20MaxBlocks = quint64(1) << 32;
    static constexpr quint64 legacyMaxBlocks = 4096;

    struct Block
    {
        std::array<uint8_t, blockSize> bytes;
        uint32_t checksum = 0; // 32-bit sum of the 1024 bytes, fill included
        bool complete = true; // every image byte of the block was read from the file
    };

    // The local path behind a local-file URL; anything else unchanged.
    static QString resolvePath(const QString &path);
    static quint64 blocksFor(quint64 size) { return (size + blockSize - 1) / blockSize; }
    // Whether an image of `size` bytes can go out whole: not empty, within maxSize, and every block
    // addressable by the header of the device's kind.
    static bool fits(quint64 size, bool v20);

    // Opens a regular file only: a FIFO or a device node could block the caller indefinitely.
    bool open(const QString &path);
    void close();
    bool isOpen() const { return file.isOpen() || fromCopy; }

    // Takes the size and the block count of the open file.
    void measure();
    quint64 imageSize() const { return size; }
    quint64 blockCount() const { return count; }

    // Starts the block sequence over: the next block is the one at the file's current position,
    // and the fill counts from there.
    void restart() { consumed = 0; }
    Block nextBlock();

    // A private copy of the measured image, so that what is written is what was hashed whatever
    // happens to the file meanwhile: in memory up to memoryLimit, else in a temp file of its own.
    // Taken a slice per call so that a caller's loop keeps its pace; once it is Done, blocks come
    // from the copy and the original file is closed.
    enum class Snapshot { Pending, Done, Failed };
    static constexpr quint64 memoryLimit = quint64(16) * 1024 * 1024;
    static constexpr qint64 sliceSize = 256 * 1024;
    void beginSnapshot();
    Snapshot snapshotSlice();
    bool snapshotting() const { return taking; }
    // The SHA-256 of the copy in lower-case hex, once it is Done; empty before.
    QString sha256() const { return digest; }

private:
    QIODevice &source();
    void dropSnapshot();

    QFile file;
    QBuffer memory;
    std::unique_ptr<QTemporaryFile> copy;
    QCryptographicHash hash {QCryptographicHash::Sha256};
    quint64 copied = 0;
    bool taking = false;
    bool fromCopy = false;
    QString digest;
    quint64 size = 0;
    quint64 count = 0;
    quint64 consumed = 0; // image positions handed out so far; the rest of a block is fill
};
