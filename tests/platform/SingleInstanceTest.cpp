// A second running copy is recognised by the lock the first one holds.
#include "platform/SingleInstance.h"
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
