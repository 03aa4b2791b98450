#pragma once

#include <QFile>
#include <QString>

#include <array>
#include <cstdint>

// The image file of an update, delivered as 1024-byte blocks in file order. Past the end of the
// file a block is filled with 0xFF; bytes inside the file that a read does not deliver go out as
// 0x00. Only one block is held in memory at a time.
class FirmwareImage
{
public:
    static constexpr uint32_t blockSize = 1024;

    struct Block
    {
        std::array<uint8_t, blockSize> bytes;
        uint32_t checksum = 0; // 32-bit sum of the 1024 bytes, fill included
    };

    // The local path behind a local-file URL; anything else unchanged.
    static QString resolvePath(const QString &path);

    bool open(const QString &path);
    void close();
    bool isOpen() const { return file.isOpen(); }

    // Takes the size (its low 32 bits) and the block count of the open file.
    void measure();
    uint32_t imageSize() const { return size; }
    uint32_t blockCount() const { return count; }

    // Starts the block sequence over: the next block is the one at the file's current position,
    // and the fill counts from there.
    void restart() { consumed = 0; }
    Block nextBlock();

private:
    QFile file;
    uint32_t size = 0;
    uint32_t count = 0;
    uint32_t consumed = 0; // image positions handed out so far; the rest of a block is fill
};
