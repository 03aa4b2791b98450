#pragma once

#include <QMetaType>

// Why an update ended without success, and where. The engine fills it in when an update that has
// begun writing fails; the window, the command line and the history put it into words.
struct UpdateFailure
{
    enum Kind : int {
        None = 0,
        NoStartAck, // the start command went out, its acknowledgement never came
        NoPrepareAck, // likewise the prepare command
        NoBlockAck, // block `block` went out whole, its acknowledgement never came
        CommandWriteFailed, // the all-zero report, start or prepare could not be written
        BlockWriteFailed, // writing block `block` failed, the accessory still enumerated
        UnpluggedBeforeBlocks, // gone before the first block was sent
        UnpluggedDuringBlock, // gone while block `block` was being written or awaited
        ImageUnreadable, // the image ended early or could not be read at block `block`
    };

    Kind kind = None;
    int block = 0; // counted from 1; 0 where no block is concerned
    int blocks = 0; // the image's block count; 0 where not yet known

    bool isLoss() const { return kind == UnpluggedBeforeBlocks || kind == UnpluggedDuringBlock; }
};
Q_DECLARE_METATYPE(UpdateFailure)
