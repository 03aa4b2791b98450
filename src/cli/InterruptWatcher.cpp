#include "InterruptWatcher.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int wakeFds[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe, read on the main thread.
void onSigint(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[1], &byte, 1);
}
} // namespace

InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
    if (wakeFds[0] < 0 && ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptWatcher::drain);
    struct sigaction action
    {
    };
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

InterruptWatcher::~InterruptWatcher()
{
    std::signal(SIGINT, SIG_DFL);
}

void InterruptWatcher::drain()
{
    char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(wakeFds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit interrupted();
    }
}
#else
// Elsewhere Ctrl+C keeps the platform's default: the program ends at once.
InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
}

InterruptWatcher::~InterruptWatcher() = default;

void InterruptWatcher::drain() { }
#endif
