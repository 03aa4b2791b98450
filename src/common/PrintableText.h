#pragma once

#include <QChar>
#include <QString>

// Text a device or a server supplies, made safe to show on a terminal or in the log: control
// characters (C0, DEL, C1) and the bidirectional overrides become visible escapes ("\e", "\r",
// "\x07", "\u202E"), so that an identity cannot clear the screen, set a terminal's title or hide
// the text around it. Everything else, wide characters included, is kept. Header only, so that the
// command line and the controller share it without a library between them.
inline QString printableText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool bidi = (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        if (c.category() != QChar::Other_Control && !bidi) {
            shown += c;
            continue;
        }
        switch (u) {
        case 0x1B:
            shown += QLatin1String("\\e");
            break;
        case '\r':
            shown += QLatin1String("\\r");
            break;
        case '\n':
            shown += QLatin1String("\\n");
            break;
        case '\t':
            shown += QLatin1String("\\t");
            break;
        default:
            shown += (u < 0x100 ? QLatin1String("\\x") : QLatin1String("\\u"))
                + QString::number(u, 16).toUpper().rightJustified(u < 0x100 ? 2 : 4,
                                                                  QLatin1Char('0'));
        }
    }
    return shown;
}
