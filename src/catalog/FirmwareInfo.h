#pragma once

#include "FirmwareCategory.h"

// One firmware of the catalogue. Fields the document lacks (or holds as non-text) stay empty.
struct FirmwareInfo
{
    QString device_id;
    QString version;
    QString release_date;
    QString firmware_url; // already joined: base URL + "/" + the document's value
    QString update_contents_url; // relative to the base URL, stored unjoined
    FirmwareTexts remark;
    FirmwareCategory category1;
    FirmwareCategory category2;
    FirmwareCategory category3;
    FirmwareTexts update_contents;
    // The archive as saved: its SHA-256 in lower-case hex (empty when not given; "-" when given
    // but not 64 hex digits, which no archive matches) and its length in bytes (-1: not given).
    QString sha256;
    qint64 size = -1;
};
