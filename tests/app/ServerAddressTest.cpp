// A site server's address: the libpq connection string the Database window writes and
// reads back, the command line's --server, and which database a run starts on.
#include "app/ServerAddress.h"
#include "platform/UserChoices.h"
#include "tests/support/Fakes.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rv;

namespace {

TEST(ServerAddress, ValuesAreQuotedTheWayLibpqReadsThem) {
    const struct {
        const char* value;
        const char* written;
    } cases[] = {
        {"db.mine", "db.mine"},
        {"", "''"},
        {"rock vane", "'rock vane'"},
        {"o'neil", R"('o\'neil')"},
        {R"(C:\certs)", R"('C:\\certs')"},
        {"\ttab", "'\ttab'"},
        {R"(it's a\b)", R"('it\'s a\\b')"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(connectionValue(QString::fromUtf8(c.value)), QString::fromUtf8(c.written))
            << c.value;
}

TEST(ServerAddress, TheBoxesMakeAStringThatReadsBackToThem) {
    ServerAddress a;
    a.host = QStringLiteral("db.mine");
    a.port = QStringLiteral("5432");
    a.database = QStringLiteral("rock vane");
    a.user = QStringLiteral("o'neil");
    a.sslMode = QStringLiteral("verify-full");
    a.others = {{QStringLiteral("sslrootcert"), QStringLiteral(R"(/etc/ssl/mine root.crt)")}};
    const QString written = connectionString(a);
    EXPECT_EQ(written, R"(host=db.mine port=5432 dbname='rock vane' user='o\'neil' )"
                       R"(sslmode=verify-full sslrootcert='/etc/ssl/mine root.crt')");
    const Result<ServerAddress> read = parseServerAddress(written);
    ASSERT_TRUE(read.ok()) << read.error().description.toStdString();
    EXPECT_EQ(read.value().host, "db.mine");
    EXPECT_EQ(read.value().port, "5432");
    EXPECT_EQ(read.value().database, "rock vane");
    EXPECT_EQ(read.value().user, "o'neil");
    EXPECT_EQ(read.value().sslMode, "verify-full");
    ASSERT_EQ(read.value().others.size(), 1u);
    EXPECT_EQ(read.value().others[0].second, "/etc/ssl/mine root.crt");

    ServerAddress empty;
    empty.database = QStringLiteral("rockvane");
    EXPECT_EQ(connectionString(empty), "dbname=rockvane sslmode=prefer")
        << "empty boxes are left to libpq's defaults";
}

TEST(ServerAddress, StringsAsEngineersWriteThem) {
    const Result<ServerAddress> spaced =
        parseServerAddress(QStringLiteral("  host = db.mine   dbname= rockvane password=secret "
                                          "connect_timeout=5"));
    ASSERT_TRUE(spaced.ok());
    EXPECT_EQ(spaced.value().host, "db.mine");
    EXPECT_EQ(spaced.value().database, "rockvane");
    EXPECT_EQ(spaced.value().sslMode, "prefer") << "the default when none is named";
    ASSERT_EQ(spaced.value().others.size(), 1u) << "a password is never kept";
    EXPECT_EQ(spaced.value().others[0].first, "connect_timeout");

    const Result<ServerAddress> uri =
        parseServerAddress(QStringLiteral("postgresql://jo@db.mine:6543/rockvane?sslmode=require"));
    ASSERT_TRUE(uri.ok());
    EXPECT_EQ(uri.value().user, "jo");
    EXPECT_EQ(uri.value().host, "db.mine");
    EXPECT_EQ(uri.value().port, "6543");
    EXPECT_EQ(uri.value().database, "rockvane");
    EXPECT_EQ(uri.value().sslMode, "require");

    const Result<ServerAddress> unclosed = parseServerAddress(QStringLiteral("dbname='rock"));
    ASSERT_FALSE(unclosed.ok());
    EXPECT_EQ(unclosed.error().description,
              "The server address has an unclosed quote in the value of \"dbname\".");
    const Result<ServerAddress> bare = parseServerAddress(QStringLiteral("db.mine"));
    ASSERT_FALSE(bare.ok());
    EXPECT_EQ(bare.error().description,
              "The server address has \"db.mine\" without \"=\" and a value after it.");
}

TEST(ServerAddress, TheCommandLinesServer) {
    const QString wanted = QStringLiteral("host=db.mine dbname=rockvane");
    const QString missing = QStringLiteral("--server needs the site server's connection string, "
                                           "e.g. --server \"host=db.mine dbname=rockvane\".");
    const struct {
        QStringList arguments;
        std::optional<QString> server;
        QString error;
    } cases[] = {
        {{"rockvane"}, std::nullopt, {}},
        {{"rockvane", "--server", wanted}, wanted, {}},
        {{"rockvane", "--server=" + wanted}, wanted, {}},
        {{"rockvane", "-platform", "offscreen", "--server", wanted}, wanted, {}},
        {{"rockvane", "--server", "dbname=a", "--server", "dbname=b"}, "dbname=b", {}},
        {{"rockvane", "--server"}, std::nullopt, missing},
        {{"rockvane", "--server", "  "}, std::nullopt, missing},
        {{"rockvane", "--server="}, std::nullopt, missing},
        {{"rockvane", "--server", "--other"}, std::nullopt, missing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const auto found = serverArgument(c.arguments);
        if (!c.error.isEmpty()) {
            ASSERT_FALSE(found.ok());
            EXPECT_EQ(found.error().description, c.error);
            continue;
        }
        ASSERT_TRUE(found.ok());
        EXPECT_EQ(found.value(), c.server);
    }
}

TEST(ServerAddress, TheFileByDefaultTheRememberedServerAndTheCommandLineFirst) {
    QTemporaryDir folder;
    test::FakePaths paths;
    paths.settings = folder.path();
    UserChoices choices(paths);
    EXPECT_EQ(startingServer(std::nullopt, choices), "") << "the file";
    ASSERT_TRUE(choices.setText(QStringLiteral("Database/Server"), QStringLiteral("dbname=kept")));
    EXPECT_EQ(startingServer(std::nullopt, choices), "dbname=kept");
    EXPECT_EQ(startingServer(QStringLiteral("dbname=given"), choices), "dbname=given");
    EXPECT_EQ(choices.text(QStringLiteral("Database/Server")), "dbname=kept")
        << "the command line's server is not remembered";
}

} // namespace
