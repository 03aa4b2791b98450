#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// A broken expectation ends the run like a crash, so the fuzzer keeps the input that caused it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The code under test logs every refusal; thousands of runs a second would bury the fuzzer's own
// report. A fatal message still ends the run.
inline void silenceQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "fatal: %s\n", qPrintable(text));
            std::abort();
        }
    });
}
