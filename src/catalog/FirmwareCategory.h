#pragma once

#include <QString>

#include <array>

// Number of language slots every per-language catalogue text has.
constexpr int FirmwareLanguageSlots = 5;

// Per-language texts of one catalogue entry, slot k filled from the key "language<k+1>".
struct FirmwareTexts : std::array<QString, FirmwareLanguageSlots>
{
    // The text to show in a language: its own slot, or the first language's text when that slot
    // is empty or does not exist, so a text the catalogue gives only once still shows everywhere.
    const QString &in(int language) const
    {
        const bool own = language >= 0 && language < FirmwareLanguageSlots
            && !(*this)[static_cast<size_t>(language)].isEmpty();
        return own ? (*this)[static_cast<size_t>(language)] : front();
    }
};

// One level of a firmware's grouping: an identifier and its display name per language.
struct FirmwareCategory
{
    QString id;
    FirmwareTexts names;
};
