// The reader of datalogger files: the comma-separated form it reads, the files it refuses,
// and that neither depends on how the file arrives in chunks.
#include "import/SlugReader.h"
#include "tests/support/Fakes.h"
#include <QBuffer>
#include <gtest/gtest.h>

using namespace rv;
using namespace rv::test;

namespace {

// A record as "cell|cell|..." over its 16 cells, "~" for a null cell; trailing nulls are
// left out so that the tables stay readable.
std::string show(const SlugRecord& r) {
    int last = kSlugColumns;
    while (last > 0 && r.cells[std::size_t(last - 1)].isEmpty())
        --last;
    std::string out;
    for (int c = 0; c < last; ++c) {
        if (c) out += '|';
        const QByteArrayView cell = r.cells[std::size_t(c)];
        out +=
            cell.isEmpty() ? std::string("~") : std::string(cell.data(), std::size_t(cell.size()));
    }
    return out;
}

struct Read {
    SlugReadOutcome outcome;
    std::vector<std::string> records;
    std::vector<qint64> lines;
};

Read readBytes(const QByteArray& bytes, qsizetype chunk = 64 * 1024, Progress* progress = nullptr,
               qint64 maxRecords = -1) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    NoProgress none;
    Read r;
    r.outcome = readSlugFile(
        buffer,
        [&](const SlugRecord& record) {
            r.records.push_back(show(record));
            r.lines.push_back(record.line);
        },
        progress ? *progress : none, maxRecords, chunk);
    return r;
}

using Records = std::vector<std::string>;

struct FormCase {
    const char* what;
    QByteArray bytes;
    Records expected;
};

class ReadsTheForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(ReadsTheForm, WhateverTheChunkSize) {
    const FormCase& c = GetParam();
    // One byte at a time, a few bytes, and the whole file at once give the same records.
    for (qsizetype chunk :
         {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(7), qsizetype(65536)}) {
        const Read r = readBytes(c.bytes, chunk);
        EXPECT_TRUE(r.outcome.ok()) << c.what << ", chunk " << chunk;
        EXPECT_EQ(r.records, c.expected) << c.what << ", chunk " << chunk;
        EXPECT_EQ(r.outcome.records, qint64(c.expected.size())) << c.what;
    }
}

const QByteArray kLine = "2005/03/14 13:00:00,17,25,001,12.4,101.55";
const std::string kStaged = "2005/03/14 13:00:00|17|25|001|12.4|101.55";

INSTANTIATE_TEST_SUITE_P(
    Datalogger, ReadsTheForm,
    ::testing::Values(
        FormCase{"one line, no line end: values kept as written (001 stays 001)", kLine, {kStaged}},
        FormCase{"no header: the first line is a record",
                 kLine + "\r\n" + kLine + "\r\n",
                 {kStaged, kStaged}},
        FormCase{"LF endings", kLine + "\n" + kLine + "\n", {kStaged, kStaged}},
        FormCase{"a lone CR ends a line too", kLine + "\r" + kLine, {kStaged, kStaged}},
        FormCase{"blank lines, the last one too, are no records",
                 "\r\n" + kLine + "\r\n\r\n" + kLine + "\r\n\r\n",
                 {kStaged, kStaged}},
        FormCase{"a byte-order mark is skipped", "\xEF\xBB\xBF" + kLine, {kStaged}},
        FormCase{"a byte-order mark alone", "\xEF\xBB\xBF", {}}, FormCase{"an empty file", "", {}},
        FormCase{"two bytes", "ab", {"ab"}},
        FormCase{"quotes are not part of the value",
                 "\"2005/03/14 13:00:00\",\"17\"",
                 {"2005/03/14 13:00:00|17"}},
        FormCase{"commas, doubled quotes and line breaks inside quotes",
                 "\"a, b\",\"say \"\"hi\"\"\",\"two\r\nlines\",\"\"\"\"",
                 {"a, b|say \"hi\"|two\r\nlines|\""}},
        FormCase{"a quote inside an unquoted value is a character", "ab\"c,d", {"ab\"c|d"}},
        FormCase{"characters after a closing quote are kept", "\"ab\"c,d", {"abc|d"}},
        FormCase{"empty and missing values are null", "a,,\"\",d", {"a|~|~|d"}},
        FormCase{"a trailing comma leaves an empty last value", "a,b,\n", {"a|b"}},
        FormCase{"a line of one quoted empty value is a record of nulls", "\"\"\n", {""}},
        FormCase{"blanks are part of the values", " a , b ", {" a | b "}},
        FormCase{"values after the 16th are ignored",
                 "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,\"18,\",19",
                 {"1|2|3|4|5|6|7|8|9|10|11|12|13|14|15|16"}},
        FormCase{"8-bit characters pass as they are",
                 "12.4\xB0"
                 "C,\xC3\xA9",
                 {"12.4\xB0"
                  "C|\xC3\xA9"}}));

TEST(SlugReader, RecordsKnowTheLineTheyBeginOn) {
    const Read r = readBytes("a\r\n\"b\nc\",d\r\n\r\ne\rf\n");
    ASSERT_TRUE(r.outcome.ok());
    EXPECT_EQ(r.records, (Records{"a", "b\nc|d", "e", "f"}));
    EXPECT_EQ(r.lines, (std::vector<qint64>{1, 2, 5, 6}));
}

TEST(SlugReader, ValuesUpToTheLimitAreKeptAndOneCharacterMoreRefusesTheFile) {
    const QByteArray longest(kMaxSlugValueBytes, 'x');
    Read r = readBytes("a\n" + longest + "\n");
    ASSERT_TRUE(r.outcome.ok());
    EXPECT_EQ(r.records.back().size(), std::size_t(kMaxSlugValueBytes));

    // A value beyond the 16th counts too: the limit is on what the file holds.
    for (const QByteArray& line :
         {longest + "y", "\"" + longest + "y\"", QByteArray(16, ',') + longest + "y"}) {
        r = readBytes("a\n" + line + "\n");
        EXPECT_EQ(r.outcome.status, SlugReadOutcome::Status::ValueTooLong);
        EXPECT_EQ(r.outcome.line, 2);
    }
}

TEST(SlugReader, RefusesBinaryDataAndAnUnclosedQuoteNamingTheLine) {
    struct Case {
        QByteArray bytes;
        SlugReadOutcome::Status status;
        qint64 line;
    };
    const std::vector<Case> cases = {
        {QByteArray("\0abc", 4), SlugReadOutcome::Status::Binary, 1},
        {QByteArray("a\r\nb\r\nc\0", 8), SlugReadOutcome::Status::Binary, 3},
        {QByteArray("a\n\"b\0\"", 6), SlugReadOutcome::Status::Binary, 2},
        {"a\nb,\"c\nd\ne", SlugReadOutcome::Status::UnclosedQuote, 2},
        {"\"", SlugReadOutcome::Status::UnclosedQuote, 1},
        {"a,\"b\"\"", SlugReadOutcome::Status::UnclosedQuote, 1},
    };
    for (const Case& c : cases)
        for (qsizetype chunk : {qsizetype(1), qsizetype(65536)}) {
            const Read r = readBytes(c.bytes, chunk);
            EXPECT_EQ(r.outcome.status, c.status) << c.bytes.toStdString();
            EXPECT_EQ(r.outcome.line, c.line) << c.bytes.toStdString();
        }
}

TEST(SlugReader, AFileOfMoreRecordsThanAllowedIsRefusedAtTheFirstOneTooMany) {
    Read r = readBytes("a\nb\nc\n", 65536, nullptr, 3);
    EXPECT_TRUE(r.outcome.ok());
    EXPECT_EQ(r.records.size(), 3u);
    r = readBytes("a\nb\n\nc\nd", 65536, nullptr, 3);
    EXPECT_EQ(r.outcome.status, SlugReadOutcome::Status::TooManyRecords);
    EXPECT_EQ(r.outcome.line, 5);
    EXPECT_EQ(r.records.size(), 3u);
}

TEST(SlugReader, ReportsTheBytesReadAndStopsAtACancel) {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += kLine + "\r\n";
    RecordingProgress progress;
    Read r = readBytes(bytes, 4096, &progress);
    ASSERT_TRUE(r.outcome.ok());
    EXPECT_EQ(progress.lastDone, bytes.size());
    EXPECT_EQ(r.records.size(), 1000u);

    RecordingProgress cancelling;
    cancelling.cancelAt = 8192;
    r = readBytes(bytes, 4096, &cancelling);
    EXPECT_EQ(r.outcome.status, SlugReadOutcome::Status::Cancelled);
    EXPECT_LT(r.records.size(), 1000u);
}

TEST(SlugReader, ATextIsUtf8WhenItCanBeAndLatin1Otherwise) {
    EXPECT_TRUE(slugText({}).isNull());
    EXPECT_EQ(slugText("001"), QStringLiteral("001"));
    EXPECT_EQ(slugText("\xC3\xA9t\xC3\xA9"), QStringLiteral(u"\u00E9t\u00E9"));
    EXPECT_EQ(slugText("12.4\xB0"
                       "C"),
              QStringLiteral(u"12.4\u00B0C"));
    EXPECT_EQ(slugText("\xC3"), QStringLiteral(u"\u00C3")) << "a cut-off UTF-8 sequence";
}

} // namespace
