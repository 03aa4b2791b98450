#include "FailureText.h"

namespace {

LanguageConfig::Entry entryOf(UpdateFailure::Kind kind)
{
    switch (kind) {
    case UpdateFailure::NoStartAck:
        return LanguageConfig::textReasonNoStartAck;
    case UpdateFailure::NoPrepareAck:
        return LanguageConfig::textReasonNoPrepareAck;
    case UpdateFailure::NoBlockAck:
        return LanguageConfig::textReasonNoBlockAck;
    case UpdateFailure::CommandWriteFailed:
        return LanguageConfig::textReasonCommandWriteFailed;
    case UpdateFailure::BlockWriteFailed:
        return LanguageConfig::textReasonBlockWriteFailed;
    case UpdateFailure::UnpluggedBeforeBlocks:
        return LanguageConfig::textReasonUnpluggedBeforeBlocks;
    case UpdateFailure::UnpluggedDuringBlock:
        return LanguageConfig::textReasonUnpluggedDuringBlock;
    case UpdateFailure::ImageUnreadable:
        return LanguageConfig::textReasonImageUnreadable;
    case UpdateFailure::None:
        break;
    }
    return LanguageConfig::EntryCount;
}

// Fills %1 and %2 only where the text has them, so a translation that leaves one out still reads.
QString fill(QString text, const UpdateFailure &failure)
{
    if (text.contains(QLatin1String("%1")))
        text.replace(QLatin1String("%1"), QString::number(failure.block));
    if (text.contains(QLatin1String("%2")))
        text.replace(QLatin1String("%2"), QString::number(failure.blocks));
    return text;
}

} // namespace

QString FailureText::describe(const LanguageConfig &config, int language,
                              const UpdateFailure &failure)
{
    const LanguageConfig::Entry entry = entryOf(failure.kind);
    return entry == LanguageConfig::EntryCount ? QString()
                                               : fill(config.text(entry, language), failure);
}

QString FailureText::describeInEnglish(const UpdateFailure &failure)
{
    const LanguageConfig::Entry entry = entryOf(failure.kind);
    return entry == LanguageConfig::EntryCount ? QString()
                                               : fill(LanguageConfig::builtInText(entry), failure);
}

QString FailureText::kindName(UpdateFailure::Kind kind)
{
    switch (kind) {
    case UpdateFailure::NoStartAck:
        return QStringLiteral("no_start_ack");
    case UpdateFailure::NoPrepareAck:
        return QStringLiteral("no_prepare_ack");
    case UpdateFailure::NoBlockAck:
        return QStringLiteral("no_block_ack");
    case UpdateFailure::CommandWriteFailed:
        return QStringLiteral("command_write_failed");
    case UpdateFailure::BlockWriteFailed:
        return QStringLiteral("block_write_failed");
    case UpdateFailure::UnpluggedBeforeBlocks:
    case UpdateFailure::UnpluggedDuringBlock:
        return QStringLiteral("unplugged");
    case UpdateFailure::ImageUnreadable:
        return QStringLiteral("image_unreadable");
    case UpdateFailure::None:
        break;
    }
    return QString();
}
