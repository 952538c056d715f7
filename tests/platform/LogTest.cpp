// The log file: its path, its three-line entries and its growth.
#include "platform/Log.h"
#include "tests/support/Fakes.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rv;
using namespace rv::test;

namespace {

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

const QString kStars(89, QLatin1Char('*'));

TEST(Log, FirstEntryCreatesTheFileBeginningWithAnEmptyLine) {
    QTemporaryDir dir;
    FixedClock clock(wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)));
    const QString path = dir.path() + QStringLiteral("/LODIX_logfile.txt");
    ASSERT_FALSE(QFile::exists(path));
    LogError(dir.path(), clock,
             errorText(Error{3021, QStringLiteral("No current record.")},
                       QStringLiteral(" G_savefields")));
    EXPECT_EQ(readAll(path),
              QStringLiteral("\r\n") + kStars + QStringLiteral("\r\n") +
                  generalDateText(clock.now()) +
                  QStringLiteral(" - Err #3021: No current record. G_savefields\r\n"));
}

TEST(Log, EntriesAreAppendedNeverRewritten) {
    QTemporaryDir dir;
    FixedClock clock;
    const QString path = dir.path() + QStringLiteral("/LODIX_logfile.txt");
    LogError(dir.path(), clock, QStringLiteral("first"));
    clock.set(wallClock(QDate(2026, 3, 15), QTime(10, 0, 1)));
    LogError(dir.path(), clock, QStringLiteral("second"));
    const QStringList lines = readAll(path).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], kStars);
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" - first")));
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], kStars);
    EXPECT_EQ(lines[5], generalDateText(clock.now()) + QStringLiteral(" - second"));
    EXPECT_EQ(lines[6], "");
}

TEST(Log, ANegativeErrorNumberKeepsItsSign) {
    EXPECT_EQ(errorText(Error{-2147217887, QStringLiteral("Multiple-step operation failed.")},
                        QStringLiteral(" G_SaveReadings")),
              "Err #-2147217887: Multiple-step operation failed. G_SaveReadings");
}

TEST(Log, AMissingFolderLosesTheEntryQuietly) {
    QTemporaryDir dir;
    FixedClock clock;
    const QString missing = dir.path() + QStringLiteral("/Brackwell/Rockvane");
    LogError(missing, clock, QStringLiteral("lost"));
    EXPECT_FALSE(QDir(missing).exists());
    LogError(QString(), clock, QStringLiteral("lost"));
}

} // namespace
