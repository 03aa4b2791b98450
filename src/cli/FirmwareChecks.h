#pragma once

#include <QString>

class CliOutput;

// What the command line checks before the engine starts, so that an image that cannot be used,
// or one made for another device, never reaches it. Each says why on stderr and gives the exit
// code (ExitCode::Ok when the update may go on).
namespace FirmwareChecks {
// The file exists, can be read and has a size the engine accepts; `size` is set.
int imageFile(const CliOutput &out, const QString &path, quint64 &size);
// The firmware's identity against the device's ("*" when it does not know its own); with
// `force` a mismatch is only said.
int identity(const CliOutput &out, bool force, bool reportsIdentity, const QString &firmwareId,
             const QString &deviceId);
} // namespace FirmwareChecks
