// Config.xml from untrusted bytes: load the language table and read every entry of every language.
#include "FuzzCheck.h"
#include "LanguageConfig.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath("Config.xml");
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }
    LanguageConfig config;
    const bool fromFile = config.loadConfigFile(path);
    // The controller indexes every entry of every language it offers, and offers at most five.
    FUZZ_CHECK(config.languageCount >= 1 && config.languageCount <= 5);
    if (!fromFile)
        FUZZ_CHECK(config.languageCount == 1
                   && config.helpHost == LanguageConfig::builtInHelpHost());
    qsizetype total = config.helpHost.size();
    for (int e = 0; e < LanguageConfig::EntryCount; ++e) {
        const auto entry = LanguageConfig::Entry(e);
        for (int language = 0; language < config.languageCount; ++language)
            total += config.text(entry, language).size();
        FUZZ_CHECK(config.text(entry, -1).isNull());
        FUZZ_CHECK(config.text(entry, config.languageCount).isNull());
        if (!fromFile)
            FUZZ_CHECK(config.text(entry, 0) == LanguageConfig::builtInText(entry));
    }
    FUZZ_CHECK(total >= 0);
    return 0;
}
