#pragma once

#include <QString>

#include <array>

// Number of language slots every per-language catalogue text has.
constexpr int FirmwareLanguageSlots = 5;

// Per-language texts of one catalogue entry, slot k filled from the key "language<k+1>".
using FirmwareTexts = std::array<QString, FirmwareLanguageSlots>;

// One level of a firmware's grouping: an identifier and its display name per language.
struct FirmwareCategory
{
    QString id;
    FirmwareTexts names;
};
