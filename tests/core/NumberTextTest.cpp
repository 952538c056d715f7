#include "core/NumberText.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <utility>

using namespace rv;

TEST(NumberText, LeadingNumber) {
    // clang-format off
    const std::pair<const char*, double> cases[] = {
        {"12.5.3", 12.5}, {"  -3abc", -3}, {"1e3", 1000}, {"1e", 1}, {".5", 0.5}, {"-", 0},
        {"", 0}, {"+4.25x", 4.25}, {"1E-2", 0.01}, {"1,5", 1}, {"- 1", 0}, {"e5", 0},
        {"5e-324", 5e-324}, {"1e-400", 0}, {"1e400", INFINITY}, {"-1e99999999999999", -INFINITY}};
    // clang-format on
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(leadingNumber(text), expected) << text;
    for (const char* no : {" ", ".", "1.2.3", "1e", "1 2", "--1", "\u0661"})
        EXPECT_FALSE(isNumberText(QString::fromUtf8(no))) << no;
}

TEST(NumberText, ALoadIsATextThatBeginsWithANumber) {
    const struct {
        const char* text;
        bool load;
    } cases[] = {{"12.5", true}, {"  -3", true}, {"+.5", true},  {".5e", true},  {"7abc", true},
                 {"0", true},    {"", false},    {"   ", false}, {"ERR", false}, {"-", false},
                 {".", false},   {"-.", false},  {"e5", false},  {"- 5", false}, {"abc1", false}};
    for (const auto& c : cases)
        EXPECT_EQ(hasLeadingNumber(QString::fromLatin1(c.text)), c.load) << c.text;
}

TEST(NumberText, FormatPatternRoundsTheWrittenDigitsHalfAwayFromZero) {
    // clang-format off
    const struct {
        const char* text;
        int decimals;
        const char* expected;
    } cases[] = {
        {"2.675", 2, "2.68"}, {"1.005", 2, "1.01"}, {"12", 2, "12.00"}, {"-0.456", 2, "-0.46"},
        {"1e3", 2, "1000.00"}, {" 5.5 ", 2, "5.50"}, {"-0.001", 2, "0.00"}, {".5", 2, "0.50"},
        {"-0.005", 2, "-0.01"}, {"9.995", 2, "10.00"}, {"+5.", 2, "5.00"}, {"1.5e-2", 2, "0.02"},
        {"21.25", 1, "21.3"}, {"99.95", 1, "100.0"}, {"-0.04", 1, "0.0"}, {"1e-400", 2, "0.00"},
        {"123456789012345678901234567", 2, "123456789012345678901234567.00"},
        {"1e401", 2, "1e401"}, {"-", 2, "-"}, {"12a", 2, "12a"}, {"1.2.3", 2, "1.2.3"},
        {"", 2, ""}, {" x ", 2, " x "}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(formatPattern(c.text, c.decimals).toStdString(), c.expected) << c.text;
}

TEST(NumberText, FormatNumberRoundsTheShortestDecimalForm) {
    // k/1000 against integer rounding of k: many of these doubles lie just below the half.
    for (int k = -20000; k <= 20000; ++k) {
        const int cents = (std::abs(k) + 5) / 10;
        const QString expected =
            QString::asprintf("%s%d.%02d", k < 0 && cents ? "-" : "", cents / 100, cents % 100);
        ASSERT_EQ(formatNumber(k / 1000.0, 2), expected) << k;
    }
    EXPECT_EQ(formatNumber(1.15, 1).toStdString(), "1.2");
    EXPECT_EQ(formatNumber(std::nan(""), 2).toStdString(), "nan");
    EXPECT_EQ(formatNumber(-INFINITY, 2).toStdString(), "-inf");
    EXPECT_EQ(formatNumber(DBL_MAX, 2).size(), 309 + 3);
}

TEST(NumberText, PlainDecimal) {
    // clang-format off
    const std::pair<double, const char*> cases[] = {
        {300, "300"}, {-20, "-20"}, {0.5, "0.5"}, {1e-7, "0.0000001"}, {-0.0, "0"},
        {1e21, "1000000000000000000000"}, {-1.5e-10, "-0.00000000015"},
        {0.1 + 0.2, "0.30000000000000004"}, {INFINITY, "inf"}};
    // clang-format on
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(plainDecimal(value).toStdString(), expected) << value;
}

TEST(NumberText, PlainDecimalReadsBackExactlyAndAgreesWithThePattern) {
    std::mt19937_64 bits(20240607);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t raw = bits();
        double value;
        std::memcpy(&value, &raw, sizeof value);
        if (!std::isfinite(value)) continue;
        const QString plain = plainDecimal(value);
        ASSERT_EQ(leadingNumber(plain), value) << plain.toStdString();
        ASSERT_EQ(formatPattern(plain, 2), formatNumber(value, 2)) << plain.toStdString();
    }
}
