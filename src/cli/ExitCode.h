#pragma once

// What the command line's exit status tells a script.
namespace ExitCode {
enum Code : int {
    Ok = 0,
    NetworkError = 1, // a catalogue or archive download failed (message 11)
    BadUsage = 2, // bad arguments, or a file, catalogue or archive that cannot be used
    NoDevice = 3,
    UpdateFailed = 4,
    Mismatch = 5,
    Busy = 6, // another copy (the window or the command line) holds the devices
    // The download, the catalogue's signature or the image is not what it should be: a digest,
    // size or signature mismatch, or an image whose SHA-256 is not the --sha256 given.
    NotVerified = 7,
    Interrupted = 130, // as a shell reports a program ended by Ctrl+C
};
} // namespace ExitCode
