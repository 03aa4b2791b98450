#include "FirmwareImage.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString FirmwareImage::resolvePath(const QString &path)
{
    const QUrl url(path, QUrl::TolerantMode);
    return url.isLocalFile() ? url.toLocalFile() : path;
}

bool FirmwareImage::fits(quint64 size, bool v20)
{
    const quint64 blocks = blocksFor(size);
    return size > 0 && size <= maxSize && blocks <= (v20 ? v20MaxBlocks : legacyMaxBlocks);
}

bool FirmwareImage::open(const QString &path)
{
    close();
    // Unbuffered: each block is one read of the file as it stands now, so a file that shrinks
    // during the update is noticed at the block it affects.
    const QIODevice::OpenMode mode = QIODevice::ReadOnly | QIODevice::Unbuffered;
#ifdef Q_OS_UNIX
    // Opened without blocking and checked on the open descriptor, so that neither a FIFO's open
    // nor a file swapped in between a check and the open can stall the worker thread.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
#else
    if (!QFileInfo(path).isFile())
        return false;
    file.setFileName(path);
    return file.open(mode);
#endif
}

void FirmwareImage::close()
{
    if (file.isOpen())
        file.close();
    dropSnapshot();
}

void FirmwareImage::measure()
{
    const qint64 bytes = file.size();
    size = bytes > 0 ? quint64(bytes) : 0;
    count = blocksFor(size);
}

FirmwareImage::Block FirmwareImage::nextBlock()
{
    Block block;
    char raw[blockSize];
    const quint64 wanted = std::min<quint64>(blockSize, size - std::min(consumed, size));
    quint64 got = 0;
    QIODevice &in = source();
    while (in.isOpen() && got < wanted) {
        const qint64 n = in.read(raw + got, qint64(wanted - got));
        if (n <= 0)
            break;
        got += quint64(n);
    }
    block.complete = got == wanted;
    for (uint32_t i = 0; i < blockSize; ++i) {
        uint8_t value = 0xFF;
        if (i < wanted)
            value = i < got ? uint8_t(raw[i]) : 0x00;
        block.bytes[i] = value;
        block.checksum += value;
    }
    consumed += wanted;
    return block;
}

QIODevice &FirmwareImage::source()
{
    if (!fromCopy)
        return file;
    if (copy)
        return *copy;
    return memory;
}

void FirmwareImage::dropSnapshot()
{
    taking = false;
    fromCopy = false;
    memory.close();
    memory.setData(QByteArray());
    copy.reset();
    digest.clear();
    copied = 0;
}

void FirmwareImage::beginSnapshot()
{
    dropSnapshot();
    hash.reset();
    taking = true;
    if (size <= memoryLimit) {
        QByteArray bytes;
        bytes.reserve(int(size));
        memory.setData(bytes);
        memory.open(QIODevice::ReadWrite);
        return;
    }
    // Created owner-only in the system's temp folder and removed when the image is done with.
    copy = std::make_unique<QTemporaryFile>(QDir::tempPath()
                                            + QStringLiteral("/firmware-updater-image-XXXXXX"));
    if (!copy->open())
        copy.reset();
}

FirmwareImage::Snapshot FirmwareImage::snapshotSlice()
{
    if (!taking)
        return fromCopy ? Snapshot::Done : Snapshot::Failed;
    QIODevice *out = copy ? static_cast<QIODevice *>(copy.get()) : &memory;
    if (!out->isOpen()) {
        dropSnapshot();
        return Snapshot::Failed;
    }
    const qint64 wanted = qint64(std::min<quint64>(quint64(sliceSize), size - copied));
    const QByteArray slice = file.read(wanted);
    // A file that shrank (or cannot be read) while it is copied is no image to write.
    if (slice.size() != wanted || out->write(slice) != wanted) {
        dropSnapshot();
        return Snapshot::Failed;
    }
    hash.addData(slice);
    copied += quint64(wanted);
    if (copied < size)
        return Snapshot::Pending;
    taking = false;
    fromCopy = true;
    digest = QString::fromLatin1(hash.result().toHex());
    out->seek(0);
    file.close();
    return Snapshot::Done;
}
