// A user's choices are kept from one run to the next in the user's own settings folder.
#include "fakes/Fakes.h"
#include "platform/UserChoices.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace rv {
namespace {

TEST(UserChoicesTest, AChoiceIsReadBackByTheNextRunAndFallsBackWhenNoneIsKept) {
    QTemporaryDir tmp;
    fakes::FolderPaths paths;
    paths.settings = tmp.path() + QStringLiteral("/config");
    {
        UserChoices first(paths);
        EXPECT_EQ(first.text(QStringLiteral("reports/folder"), QStringLiteral("/tmp")),
                  QStringLiteral("/tmp"));
        EXPECT_TRUE(first.flag(QStringLiteral("window/grow"), true));
        EXPECT_TRUE(first.setText(QStringLiteral("reports/folder"), QStringLiteral("/srv/a b")));
        EXPECT_TRUE(first.setFlag(QStringLiteral("window/grow"), false));
    }
    const UserChoices next(paths);
    EXPECT_EQ(next.file(), tmp.path() + QStringLiteral("/config/Rockvane/choices.ini"));
    EXPECT_EQ(next.text(QStringLiteral("reports/folder")), QStringLiteral("/srv/a b"));
    EXPECT_FALSE(next.flag(QStringLiteral("window/grow"), true));
}

TEST(UserChoicesTest, WithoutASettingsFolderNothingIsKeptAndTheFallbackHolds) {
    fakes::FolderPaths paths; // no documents, no settings folder
    UserChoices choices(paths);
    EXPECT_FALSE(choices.setFlag(QStringLiteral("window/grow"), true));
    EXPECT_FALSE(choices.flag(QStringLiteral("window/grow")));
}

} // namespace
} // namespace rv
