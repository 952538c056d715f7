// A second running copy is recognised by the lock the first one holds.
#include "platform/SingleInstance.h"
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
