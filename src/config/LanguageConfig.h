#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace tinyxml2 {
class XMLElement;
}

// Every user-visible text, per language, as read from Config/Config.xml (or built in).
class LanguageConfig
{
public:
    // Entries before positionalCount are the i-th child of a <language> element; later ones are
    // found by their element name (see elementName()).
    enum Entry {
        languageName,
        languageKey,
        catalogueUrl,
        textTitle,
        textLocalFile,
        textNetFile,
        textUpdateDetails,
        textUpdate,
        textExit,
        textHelp,
        textOpen,
        textCancel,
        msgOpenFileFailed,
        msgFileSizeInvalid,
        msgReadFileFailed,
        msgOpenFileOk,
        msgDeviceConnected,
        msgDeviceDisconnected,
        msgConnectDeviceFirst,
        msgOpenFileFirst,
        msgUpdateFailed,
        msgUpdateOk,
        msgFirmwareMismatch,
        msgNetworkError,
        textSelectedFirmware,
        textFirmwareDesc,
        textUpdates,
        textRemark,
        textSearch,
        textVersion,
        textReleaseDate,
        // Optional entries after the original 31, found by name; a language without one uses the
        // built-in text.
        msgDevicePermission, // log message 12
        textAlreadyRunning,
        textUpdateRunningQuestion,
        textKeepUpdating,
        textCloseAnyway,
        textMismatchQuestion, // %1 the firmware's device identity, %2 the connected device's
        textUpdateAnyway,
        textDoNotUpdate,
        textTimeLeft, // %1 the time left, as m:ss
        textDeviceIdentity, // %1 the connected device's identity
        qtLocale, // the locale of Qt's own dialog texts for this language, e.g. "de"
        // The command line: catalogue column headings, the wait for the device, the Ctrl+C hint.
        textColumnCategory,
        textColumnDevice,
        textColumnName,
        textWaitingForDevice, // %1 the seconds the wait lasts at most
        textInterruptHint,
        textInterruptStopping,
        // The selection dialog's hint and the download popup's line.
        textChooseFirmwareHint, // the details pane before a firmware is selected
        textDownloading, // %1 the firmware being fetched
        // Several accessories plugged in: which one the window uses.
        textAccessoryChosen, // %1 its path, %2 how many are plugged in
        // The main window's update: the log line at its start and the bar's outcome at its end.
        textUpdateStarted, // %1 the image's file name, %2 its size in bytes, %3 the device identity
        textOutcomeDone,
        textOutcomeFailed,
        textOutcomeLost, // failed because the device went away
        // Why an update failed, and where (%1 the block counted from 1, %2 the block count).
        textReasonNoStartAck,
        textReasonNoPrepareAck,
        textReasonNoBlockAck,
        textReasonCommandWriteFailed,
        textReasonBlockWriteFailed,
        textReasonUnpluggedBeforeBlocks,
        textReasonUnpluggedDuringBlock,
        textReasonImageUnreadable,
        // Firmware that can be trusted: the catalogue's signature and digests, the image's own.
        textCatalogueUnsigned,
        textCatalogueBadSignature,
        textCatalogueUnknownKey,
        textCatalogueReplayed,
        textDownloadMismatch,
        textFirmwareUnverified,
        textRecordWithoutDigest,
        textUnverifiedMark,
        textDownloadWriteFailed,
        textImageDigest,
        textImageDigestMismatch,
        textLoadingCatalogue,
        // The update history and the log files.
        textHistoryUnwritable, // %1 the reason
        textHistoryEmpty,
        textHistoryLine, // %1 start time, %2 image, %3 accessory, %4 outcome
        textHistoryDone,
        textHistoryFailed,
        textHistoryLost,
        textHistoryInterrupted,
        textHistoryUnfinished,
        textProgramVersion, // %1 the version
        textLogCopy,
        textLogSave,
        textLogOpenFolder,
        textLogSaveFailed, // %1 the file
        // A file handed to the window during an update (%1 the file), the file dialog's filter, and
        // the names a screen reader gives the window's parts.
        textFileNotOpenedWhileUpdating,
        textFileFilter,
        a11yUsbConnected,
        a11yUsbDisconnected,
        a11yLog,
        a11yProgress,
        a11yLanguage,
        a11yFirmwareList,
        a11yAccessory,
        a11yDetails,
        a11yDownload,
        // The window's list of accessories, its questions, and outcomes naming the accessory.
        textAccessoryPickHint,
        textAccessoryPicked, // %1 the serial of the accessory picked
        textAccessoryBusy,
        textAccessoryLegacy,
        textAccessoryClearPick,
        textAccessoryAway, // %1 the serial of the chosen accessory
        textAccessoryBusyLog, // %1 the serial
        textAccessoryInsteadQuestion, // %1 the chosen one, %2 the only one present
        textAccessoryUpdateInstead, // %1 the serial of the only one present
        textOutcomeDoneNamed, // %1 the serial of the accessory written
        textOutcomeFailedNamed, // %1 the serial
        textOutcomeLostNamed, // %1 the serial
        textFailureOn, // %1 the serial, %2 the reason
        // The command line's errors: %1 the name given, %2 the accessories present
        cliNoAccessoryNamed,
        // %1 the device identity
        cliNoFirmwareForDevice,
        // %1 the firmware's identity, %2 the device's
        cliFirmwareForOther,
        cliIdentityUnknown,
        cliNoIdentity,
        // %1 the HTTP status, %2 what was asked for
        cliHttpStatus,
        // %1 the address given
        cliNotAUrl,
        // %1 the address
        cliNotACatalogue,
        // %1 the folder
        cliNoDownloadFolder,
        // %1 how many, %2 the listing, each on its own line
        cliSeveralAccessories,
        cliNoSerial,
        // in place of an empty list of accessories
        cliNone,
        // %1 why, %2 the accessories
        cliAllBusy,
        // %1 why
        cliBusyBecause,
        // %1 found, %2 expected, %3 the accessories
        cliExpectedCount,
        // %1 the mismatch
        cliForceHint,
        // an accessory no copy holds
        cliFree,
        // --all's result words and the station's running count (%1 updated, %2 failed)
        cliResultUpdated,
        cliResultSkipped,
        cliStationCounts,
        // %1 the name given, %2 the accessories it names
        cliNameSeveral,
        EntryCount
    };

    // Reads a Config.xml; without a usable file the built-in table (one language) takes its place.
    // Returns whether the file supplied the table.
    bool loadConfigFile(const QString &path);

    // The text of an entry in a language; out-of-range languages give an empty string.
    QString text(Entry entry, int language) const;

    static QString builtInText(Entry entry);
    // The element a named entry is read from; empty for the positional ones.
    static QString elementName(Entry entry);
    static constexpr int positionalCount = msgDevicePermission;
    // The <qt_locale> a language's own element supplies; empty where the file has none (the
    // built-in fallback names no language of the file).
    QString ownQtLocale(int language) const { return fileQtLocales.value(language); }
    static QString builtInHelpHost();

    int languageCount = 0;
    QString helpHost;
    // <network_firmware>true</network_firmware> at the top level shows the network-firmware button.
    bool networkFirmware = false;
    // The <catalogue_public_key> elements at the top level: minisign public key lines. With one or
    // more, a catalogue is used only when signed by one of them.
    QStringList cataloguePublicKeys;

private:
    void useBuiltInTable();
    void readLanguage(const tinyxml2::XMLElement *lang);

    std::array<QStringList, EntryCount> entries;
    QStringList fileQtLocales;
};
