// The real engine through a whole update against a scripted device whose link faults and reply
// timings come from the fuzz input. Passes are driven one by one, as the worker loop runs them,
// with a slot of zero: the scripted device counts time in passes.
// Success may be reported only when the device holds the whole image byte for byte; the engine
// may use only handles it opened and has not closed (checked by the scripted hidapi).
#include "FuzzCheck.h"
#include "MainTask.h"
#include "ScriptedDevice.h"
#include "ScriptedHid.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

constexpr int maxImage = 4 * 1024 + 100; // up to five blocks, the last one partly fill
constexpr uint64_t passLimit = 60000; // beyond every wait the engine can add up for that

QByteArray imageFrom(int size, uint32_t seed)
{
    QByteArray image(size, '\0');
    for (char &byte : image) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = char(seed);
    }
    return image;
}

// What a device that took every block holds: the image, its last block filled up with 0xFF.
QByteArray asStored(const QByteArray &image)
{
    const int blocks = (image.size() + 1023) / 1024;
    return image + QByteArray(blocks * 1024 - image.size(), '\xff');
}

void traceOutcome(bool v20, const QByteArray &image, const QVector<int> &messages,
                  const ScriptedDevice &device)
{
    QStringList ids;
    for (int id : messages)
        ids << QString::number(id);
    std::fprintf(stderr, "%s device, %d-byte image: messages %s, %d blocks kept\n",
                 v20 ? "V20" : "legacy", int(image.size()), qPrintable(ids.join(',')),
                 device.acceptedBlocks());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    FuzzedDataProvider input(data, size);
    const bool v20 = input.ConsumeBool();
    const uint64_t attachAt = 1 + input.ConsumeIntegralInRange<uint64_t>(0, 100);
    const uint64_t startAt = input.ConsumeIntegralInRange<uint64_t>(0, 200);
    const QByteArray image = imageFrom(input.ConsumeIntegralInRange<int>(0, maxImage),
                                       input.ConsumeIntegral<uint32_t>() | 1);
    const QString path = folder.filePath("image.bin");
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(image) == image.size());
    }

    ScriptedDevice &device = ScriptedDevice::instance();
    device.reset({[&input] { return input.ConsumeIntegral<uint8_t>(); }}, v20, attachAt);
    ScriptedHid::resetHandles();
    QVector<int> messages;
    {
        MainTask task;
        QObject::connect(&task, &MainTask::sig_OutoutMsgToBackend,
                         [&messages](int id) { messages.append(id); });
        task.setPassSlot(std::chrono::microseconds(0)); // passes counted, not waited for
        task.SetFilePath(path);
        bool started = false;
        uint64_t pass = 1;
        for (; pass < passLimit; ++pass) {
            device.setPass(pass);
            if (!started && pass >= startAt) {
                task.StartUpdate();
                started = true;
            }
            task.RunOnePass();
            if (started && !task.isUpdateRequested())
                break;
        }
        FUZZ_CHECK(pass < passLimit); // every update ends, one way or the other
    }
    if (std::getenv("FUZZ_TRACE"))
        traceOutcome(v20, image, messages, device);
    const int successes = int(messages.count(MessageId::UpdateOk));
    FUZZ_CHECK(successes <= 1);
    if (successes == 1) {
        FUZZ_CHECK(!messages.contains(MessageId::UpdateFailed));
        FUZZ_CHECK(device.memory() == asStored(image));
    }
    return 0;
}
