// A second running copy is recognised by the lock the first one holds: the temporary
// folder's lock of the user, and the lock beside the database.
#include "platform/SingleInstance.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rv;

TEST(SingleInstance, TheSecondCopyIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    const QString lock = dir.path() + QStringLiteral("/rockvane.lock");
    auto first = std::make_unique<LockFileInstance>(lock);
    EXPECT_FALSE(first->anotherCopyRunning());
    EXPECT_FALSE(first->anotherCopyRunning()) << "asking again does not refuse itself";
    LockFileInstance second(lock);
    EXPECT_TRUE(second.anotherCopyRunning());
    first.reset();
    LockFileInstance third(lock);
    EXPECT_FALSE(third.anotherCopyRunning());
}

// Each user of a machine runs a copy of their own: the lock is the user's.
TEST(SingleInstance, EachUserHasALockOfTheirOwn) {
    QTemporaryDir dir;
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    const QString first = LockFileInstance::lockPathFor(QStringLiteral("1000"));
    const QString second = LockFileInstance::lockPathFor(QStringLiteral("1001"));
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.startsWith(dir.path() + u'/')) << first.toStdString();

    LockFileInstance userA(first);
    LockFileInstance userB(second);
    EXPECT_FALSE(userA.anotherCopyRunning());
    EXPECT_FALSE(userB.anotherCopyRunning()) << "another user's copy does not refuse this one";

    // Without a path the lock is the running user's own: a second copy of the same user
    // is refused.
    auto mine = std::make_unique<LockFileInstance>();
    LockFileInstance mineAgain;
    EXPECT_FALSE(mine->anotherCopyRunning());
    EXPECT_TRUE(mineAgain.anotherCopyRunning());
    mine.reset();
    EXPECT_FALSE(mineAgain.anotherCopyRunning());

    if (previous.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", previous);
}

// The lock of a database lies beside the file every path to it leads to: copies with
// temporary folders of their own, reaching it by a link to the file or to its folder, are
// each refused, and learn which computer and user hold it.
TEST(SingleInstance, EveryPathToOneDatabaseSharesItsLock) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/data");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString database = folder + QStringLiteral("/RockvaneLODIX.mdb");
    QFile file(database);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::link(database, dir.path() + QStringLiteral("/file-link.mdb")));
    ASSERT_TRUE(QFile::link(folder, dir.path() + QStringLiteral("/folder-link")));

    auto first = std::make_unique<LockFileInstance>(dir.path() + QStringLiteral("/a.lock"));
    first->guard(database);
    EXPECT_FALSE(first->anotherCopyRunning());
    EXPECT_TRUE(first->guardsDatabase());
    QFile lock(database + QStringLiteral(".lock"));
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly)) << "the lock lies beside the database";
    const QByteArray written = lock.readAll();
    EXPECT_TRUE(written.contains("\nuser=")) << written.constData();
    EXPECT_TRUE(written.contains("\ndatabase=" + QFile::encodeName(database) + "\n"));

    int n = 0;
    for (const QString& path : {database, dir.path() + QStringLiteral("/file-link.mdb"),
                                dir.path() + QStringLiteral("/folder-link/RockvaneLODIX.mdb")}) {
        LockFileInstance other(dir.path() + QStringLiteral("/other%1.lock").arg(++n));
        other.guard(path);
        EXPECT_TRUE(other.anotherCopyRunning()) << path.toStdString();
        EXPECT_TRUE(other.holder().startsWith(QStringLiteral("The database ") + path +
                                              QStringLiteral(" is in use by Rockvane on the "
                                                             "computer ") +
                                              QSysInfo::machineHostName() +
                                              QStringLiteral(", user ")))
            << other.holder().toStdString();
    }
    LockFileInstance elsewhere(dir.path() + QStringLiteral("/b.lock"));
    elsewhere.guard(dir.path() + QStringLiteral("/RockvaneLODIX.mdb"));
    EXPECT_FALSE(elsewhere.anotherCopyRunning()) << "another database is another run";

    first.reset();
    EXPECT_FALSE(QFile::exists(database + QStringLiteral(".lock")));
    LockFileInstance next(dir.path() + QStringLiteral("/c.lock"));
    next.guard(dir.path() + QStringLiteral("/file-link.mdb"));
    EXPECT_FALSE(next.anotherCopyRunning());
}

// A copy that ends without letting its lock go (a crash, a power cut) leaves it behind;
// the next copy takes it over.
TEST(SingleInstance, ALockLeftByACrashedCopyIsTakenOver) {
    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/RockvaneLODIX.mdb");
    const pid_t pid = fork();
    if (pid == 0) {
        LockFileInstance crashing(dir.path() + QStringLiteral("/child.lock"));
        crashing.guard(database);
        _exit(crashing.anotherCopyRunning() ? 3 : 0); // no clean-up: the lock stays
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(QFile::exists(database + QStringLiteral(".lock")));
    LockFileInstance next(dir.path() + QStringLiteral("/next.lock"));
    next.guard(database);
    EXPECT_FALSE(next.anotherCopyRunning());
    EXPECT_TRUE(next.guardsDatabase());
}

// A folder that cannot hold the lock: the user's own lock in the temporary folder stands
// in, and the claim says that the database itself is not guarded.
TEST(SingleInstance, AFolderThatCannotHoldTheLockFallsBackToTheUsersLock) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/data");
    ASSERT_TRUE(QDir().mkpath(folder));
    if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) != 0 &&
        !QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner))
        GTEST_SKIP() << "the folder cannot be made read-only here";
    QTemporaryFile probe(folder + QStringLiteral("/probe-XXXXXX"));
    const bool writable = probe.open();
    const QString database = folder + QStringLiteral("/RockvaneLODIX.mdb");
    const QString fallback = dir.path() + QStringLiteral("/user.lock");
    if (!writable) {
        auto first = std::make_unique<LockFileInstance>(fallback);
        first->guard(database);
        EXPECT_FALSE(first->anotherCopyRunning());
        EXPECT_FALSE(first->guardsDatabase());
        EXPECT_TRUE(QFile::exists(fallback));
        LockFileInstance again(fallback);
        again.guard(database);
        EXPECT_TRUE(again.anotherCopyRunning());
        first.reset();
        EXPECT_FALSE(again.anotherCopyRunning());
    }
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder});
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (writable) GTEST_SKIP() << "this user writes into read-only folders";
}
