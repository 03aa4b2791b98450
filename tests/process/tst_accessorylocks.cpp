// One writer per accessory across processes, whatever their user or environment, and never a lock
// left behind by a holder that is gone. The holder is a child process of this test.
#include "AccessoryLocks.h"

#include <QTest>

#include <memory>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray accessory = "sim-hid:lock-test";

enum class Holder { Stays, Killed, Exits, StartsAProgramAndExits };

struct Child
{
    pid_t pid = -1;
    pid_t program = -1; // started by the holder, still running after it
};

// Forks a holder that takes the accessory's lock (as `user` when set, with no runtime folder when
// `noRuntime`), tells the test, then does what `holder` says.
Child startHolder(Holder holder, const char *user, bool noRuntime)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        if (noRuntime)
            ::unsetenv("XDG_RUNTIME_DIR");
        if (user) {
            const passwd *entry = ::getpwnam(user);
            if (!entry || ::setgid(entry->pw_gid) != 0 || ::setuid(entry->pw_uid) != 0)
                ::_exit(2);
        }
        AccessoryLocks locks;
        if (!locks.claim(accessory))
            ::_exit(3);
        pid_t program = 0;
        if (holder == Holder::StartsAProgramAndExits) {
            // Told only once the program runs: until its exec, the forked copy holds everything.
            int started[2];
            if (::pipe2(started, O_CLOEXEC) != 0)
                ::_exit(4);
            program = ::fork();
            if (program == 0) {
                ::close(started[0]);
                const int null = ::open("/dev/null", O_RDWR);
                ::dup2(null, STDOUT_FILENO);
                ::dup2(null, STDERR_FILENO);
                ::execlp("sleep", "sleep", "30", static_cast<char *>(nullptr));
                ::_exit(4);
            }
            ::close(started[1]);
            char byte;
            while (::read(started[0], &byte, 1) > 0) { }
        }
        if (::write(ready[1], &program, sizeof program) != sizeof program)
            ::_exit(5);
        if (holder != Holder::Stays && holder != Holder::Killed)
            ::_exit(0);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    Child child;
    child.pid = pid;
    const bool told
        = ::read(ready[0], &child.program, sizeof child.program) == ssize_t(sizeof child.program);
    ::close(ready[0]);
    if (!told) {
        ::waitpid(pid, nullptr, 0);
        child.pid = -1;
    }
    return child;
}

} // namespace

class TestAccessoryLocks : public QObject
{
    Q_OBJECT

private slots:
    void secondClaim_refusedWhileAHolderLives_data();
    void secondClaim_refusedWhileAHolderLives();
    void twoObjectsInOneProcess_oneHolds();
};

void TestAccessoryLocks::secondClaim_refusedWhileAHolderLives_data()
{
    QTest::addColumn<int>("holder");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<bool>("noRuntime"); // neither the holder nor this process has one
    QTest::addColumn<bool>("free"); // afterwards
    QTest::newRow("holder running") << int(Holder::Stays) << false << false << false;
    QTest::newRow("holder and claimer without XDG_RUNTIME_DIR")
        << int(Holder::Stays) << false << true << false;
    QTest::newRow("holder of another user") << int(Holder::Stays) << true << false << false;
    QTest::newRow("holder killed with SIGKILL") << int(Holder::Killed) << false << false << true;
    QTest::newRow("holder exited") << int(Holder::Exits) << false << false << true;
    QTest::newRow("holder exited, a program it started runs on")
        << int(Holder::StartsAProgramAndExits) << false << false << true;
}

void TestAccessoryLocks::secondClaim_refusedWhileAHolderLives()
{
    QFETCH(int, holder);
    QFETCH(bool, asNobody);
    QFETCH(bool, noRuntime);
    QFETCH(bool, free);
    if (asNobody && ::geteuid() != 0)
        QSKIP("only root can start a holder of another user");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (noRuntime)
        qunsetenv("XDG_RUNTIME_DIR");
    const Child child = startHolder(Holder(holder), asNobody ? "nobody" : nullptr, noRuntime);
    QVERIFY(child.pid > 0);
    // Whatever the outcome, nothing this row started outlives it.
    const std::unique_ptr<const Child, void (*)(const Child *)> reaper(&child, [](const Child *c) {
        if (c->program > 0)
            ::kill(c->program, SIGKILL);
        if (::kill(c->pid, SIGKILL) == 0)
            ::waitpid(c->pid, nullptr, 0);
    });
    if (Holder(holder) == Holder::Killed)
        ::kill(child.pid, SIGKILL);
    if (Holder(holder) != Holder::Stays)
        ::waitpid(child.pid, nullptr, 0); // reaped: gone for good

    AccessoryLocks locks;
    QCOMPARE(AccessoryLocks::heldByAnother(accessory), !free);
    QCOMPARE(locks.claim(accessory), free);
    QCOMPARE(locks.holds(accessory), free);

    if (Holder(holder) == Holder::Stays) {
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, nullptr, 0);
        QVERIFY(locks.claim(accessory)); // and the claim that failed left nothing in the way
    }
    if (noRuntime && !runtime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", runtime);
}

// Engines of one process claim through one object; two objects (two programs' worth of state in
// one test process) must still exclude each other, and a release frees the accessory at once.
void TestAccessoryLocks::twoObjectsInOneProcess_oneHolds()
{
    AccessoryLocks first;
    AccessoryLocks second;
    QVERIFY(first.claim(accessory));
    QVERIFY(first.claim(accessory)); // its own again
    QVERIFY(!second.claim(accessory));
    first.release(accessory);
    QVERIFY(!AccessoryLocks::heldByAnother(accessory));
    QVERIFY(second.claim(accessory));
}

QTEST_GUILESS_MAIN(TestAccessoryLocks)
#include "tst_accessorylocks.moc"
