#include "InterruptWatcher.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int wakeFds[2] = {-1, -1};

// Only async-signal-safe work here: the signal's number into the pipe, read on the main thread.
void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
}

void watch(int number)
{
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

bool ignoredAtStart(int number)
{
    struct sigaction current
    {
    };
    return ::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}
} // namespace

InterruptWatcher::InterruptWatcher(bool watchCtrlC, QObject *parent)
    : QObject(parent)
    , watchCtrlC(watchCtrlC)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (wakeFds[0] < 0 && ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptWatcher::drain);
    if (watchCtrlC)
        watch(SIGINT);
    watch(SIGTERM);
    if (!ignoredAtStart(SIGHUP))
        watch(SIGHUP);
}

InterruptWatcher::~InterruptWatcher()
{
    if (watchCtrlC)
        std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void InterruptWatcher::drain()
{
    char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(wakeFds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == SIGINT)
                emit interrupted();
            else
                emit terminated();
        }
    }
}
#elif defined(Q_OS_WIN)
#include <QMetaObject>
#include <QPointer>

#include <atomic>

#include <windows.h>

namespace {
QPointer<InterruptWatcher> current;
std::atomic<bool> finished {false};

// Called on a thread of the system's own. Returning ends the process, so the handler waits for
// the main thread to finish the stop (the system allows a few seconds).
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE; // Ctrl+C keeps the platform's default: the program ends at once
    if (current)
        QMetaObject::invokeMethod(current, "terminated", Qt::QueuedConnection);
    for (int i = 0; i < 45 && !finished; ++i)
        Sleep(100);
    return TRUE;
}
} // namespace

InterruptWatcher::InterruptWatcher(bool watchCtrlC, QObject *parent)
    : QObject(parent)
    , watchCtrlC(watchCtrlC)
{
    current = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptWatcher::~InterruptWatcher()
{
    finished = true;
}

void InterruptWatcher::drain() { }
#else
InterruptWatcher::InterruptWatcher(bool watchCtrlC, QObject *parent)
    : QObject(parent)
    , watchCtrlC(watchCtrlC)
{
}

InterruptWatcher::~InterruptWatcher() = default;

void InterruptWatcher::drain() { }
#endif
