#include "DisplayWidth.h"

#include <QChar>
#include <QVector>

namespace {

// The Wide and Fullwidth blocks of Unicode's East Asian Width property, coarsened to the ranges
// terminals draw two columns wide.
bool isWide(uint c)
{
    struct Range
    {
        uint first;
        uint last;
    };
    static constexpr Range wide[] = {
        {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
        {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
        {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
        {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    for (const Range &range : wide) {
        if (c >= range.first && c <= range.last)
            return true;
    }
    return false;
}

int widthOf(uint c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format: // zero-width space and joiners, direction marks
    case QChar::Other_Control:
        return 0;
    default:
        return isWide(c) ? 2 : 1;
    }
}

} // namespace

int displayWidth(const QString &text)
{
    int width = 0;
    for (const uint c : text.toUcs4())
        width += widthOf(c);
    return width;
}
