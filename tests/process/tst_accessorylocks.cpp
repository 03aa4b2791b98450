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

const QByteArray simulated = "sim-hid:lock-test";

enum class Holder { Stays, Killed, Exits, StartsAProgramAndExits };

struct Child
{
    pid_t pid = -1;
    pid_t program = -1; // started by the holder, still running after it
};

// Forks a holder that takes the accessory's lock (as `user` when set, with no runtime folder when
// `noRuntime`, in a lock scope of its own when `scoped`), tells the test, then does what `holder`
// says.
Child startHolder(const QByteArray &accessory, Holder holder, const char *user, bool noRuntime,
                  bool scoped)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        if (noRuntime)
            ::unsetenv("XDG_RUNTIME_DIR");
        if (scoped)
            ::setenv("FWU_LOCK_SCOPE", "another test program", 1);
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
    QTest::addColumn<QByteArray>("accessory");
    QTest::addColumn<bool>("scoped"); // the holder runs in a test lock scope of its own
    QTest::addColumn<int>("holder");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<bool>("noRuntime"); // neither the holder nor this process has one
    QTest::addColumn<bool>("free"); // afterwards
    const QByteArray real = "/dev/hidraw-lock-test";
    QTest::newRow("holder running")
        << simulated << false << int(Holder::Stays) << false << false << false;
    QTest::newRow("holder and claimer without XDG_RUNTIME_DIR")
        << simulated << false << int(Holder::Stays) << false << true << false;
    QTest::newRow("holder of another user")
        << simulated << false << int(Holder::Stays) << true << false << false;
    QTest::newRow("holder killed with SIGKILL")
        << simulated << false << int(Holder::Killed) << false << false << true;
    QTest::newRow("holder exited")
        << simulated << false << int(Holder::Exits) << false << false << true;
    QTest::newRow("holder exited, a program it started runs on")
        << simulated << false << int(Holder::StartsAProgramAndExits) << false << false << true;
    // The test scope keeps test programs' simulated accessories apart, never a real one.
    QTest::newRow("holder in another test scope, a simulated accessory")
        << simulated << true << int(Holder::Stays) << false << false << true;
    QTest::newRow("holder in another test scope, a real accessory")
        << real << true << int(Holder::Stays) << false << false << false;
}

void TestAccessoryLocks::secondClaim_refusedWhileAHolderLives()
{
    QFETCH(QByteArray, accessory);
    QFETCH(bool, scoped);
    QFETCH(int, holder);
    QFETCH(bool, asNobody);
    QFETCH(bool, noRuntime);
    QFETCH(bool, free);
    if (asNobody && ::geteuid() != 0)
        QSKIP("only root can start a holder of another user");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (noRuntime)
        qunsetenv("XDG_RUNTIME_DIR");
    const Child child
        = startHolder(accessory, Holder(holder), asNobody ? "nobody" : nullptr, noRuntime, scoped);
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
    QVERIFY(first.claim(simulated));
    QVERIFY(first.claim(simulated)); // its own again
    QVERIFY(!second.claim(simulated));
    first.release(simulated);
    QVERIFY(!AccessoryLocks::heldByAnother(simulated));
    QVERIFY(second.claim(simulated));
}

QTEST_GUILESS_MAIN(TestAccessoryLocks)
#include "tst_accessorylocks.moc"
