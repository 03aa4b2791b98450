#pragma once

// The numbered log messages. The engine, the controller and the downloads send these numbers;
// the controller turns each into the current language's text (Config.xml keeps the order).
namespace MessageId {
enum Id : int {
    OpenFileFailed = 0,
    FileSizeInvalid = 1,
    ReadFileFailed = 2,
    OpenFileOk = 3,
    DeviceConnected = 4,
    DeviceDisconnected = 5,
    ConnectDeviceFirst = 6,
    OpenFileFirst = 7,
    UpdateFailed = 8,
    UpdateOk = 9,
    FirmwareMismatch = 10,
    NetworkError = 11,
    // A matching device was enumerated but could not be opened (usually missing permission).
    DevicePermissionDenied = 12,
    Count
};
} // namespace MessageId
