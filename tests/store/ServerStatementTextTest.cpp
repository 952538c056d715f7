// The store's statements in the site server's dialect: parameters and quoted names.
#include "store/PgEngine.h"
#include <gtest/gtest.h>

using namespace rv;

namespace {

TEST(ServerStatementText, ParametersAreNumberedAndQuotedTextsAndNamesAreKept) {
    const struct {
        const char* store;
        const char* server;
        int parameters;
    } cases[] = {
        {"SELECT 1", "SELECT 1", 0},
        {"? = note", "$1 = note", 1},
        {"SELECT note FROM r WHERE id = ?", "SELECT note FROM r WHERE id = $1", 1},
        {"INSERT INTO r VALUES (?, ?, ?)", "INSERT INTO r VALUES ($1, $2, $3)", 3},
        {"SELECT ?1, ?12", "SELECT $1, $12", 12},
        {"SELECT ?12, ?", "SELECT $12, $13", 13},
        {"SELECT ?2, ?1, ?", "SELECT $2, $1, $3", 3},
        {"SELECT '?', ?", "SELECT '?', $1", 1},
        {"SELECT 'it''s ?' || ?", "SELECT 'it''s ?' || $1", 1},
        {"SELECT \"a?\" FROM t WHERE x = ?", "SELECT \"a?\" FROM t WHERE x = $1", 1},
        {"SELECT `Mid` FROM `Alpha`", "SELECT \"Mid\" FROM \"Alpha\"", 0},
        {"SELECT '`Mid`' FROM `My Table`", "SELECT '`Mid`' FROM \"My Table\"", 0},
        {"SELECT `a\"b`", "SELECT \"a\"\"b\"", 0},
        {"SELECT 1 -- why?\nFROM t WHERE x = ?", "SELECT 1 -- why?\nFROM t WHERE x = $1", 1},
        {"SELECT /* ? `x` */ ?", "SELECT /* ? `x` */ $1", 1},
        {"SELECT 'open ?", "SELECT 'open ?", 0},
    };
    for (const auto& k : cases) {
        int parameters = -1;
        EXPECT_EQ(serverStatementText(QString::fromUtf8(k.store), &parameters).toStdString(),
                  k.server)
            << k.store;
        EXPECT_EQ(parameters, k.parameters) << k.store;
    }
}

} // namespace
