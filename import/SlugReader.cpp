#include "import/SlugReader.h"
#include <QIODevice>
#include <string>

namespace rv {

namespace {

// The state of the reader between chunks: the cells of the record under way and where
// the scan stands inside it.
class RecordBuilder {
public:
    RecordBuilder(const std::function<void(const SlugRecord&)>& onRecord, qint64 maxRecords)
        : m_onRecord(onRecord), m_maxRecords(maxRecords) {
        m_bytes.reserve(256);
    }

    SlugReadOutcome outcome;

    // Scans one chunk; false when the file is refused (outcome says why).
    bool scan(const char* data, qsizetype size) {
        for (qsizetype i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\0') return refuse(SlugReadOutcome::Status::Binary, m_line);
            // The LF of a CR LF pair ends no further line.
            const bool lineFeedOfPair = m_afterCarriageReturn && c == '\n';
            m_afterCarriageReturn = c == '\r';
            if (m_inQuotes) {
                if (c == '"') {
                    m_inQuotes = false;
                    m_afterQuote = true;
                    continue;
                }
                if (c == '\r' || (c == '\n' && !lineFeedOfPair)) ++m_line;
                if (!keep(c)) return false;
                continue;
            }
            if (m_afterQuote && c == '"') {
                // A doubled quote inside a quoted value: one quote, and the value goes on.
                m_afterQuote = false;
                m_inQuotes = true;
                if (!keep(c)) return false;
                continue;
            }
            m_afterQuote = false;
            switch (c) {
            case ',':
                endCell();
                break;
            case '\n':
                if (lineFeedOfPair) break;
                [[fallthrough]];
            case '\r':
                if (!endRecord()) return false;
                ++m_line;
                m_recordLine = m_line;
                break;
            case '"':
                if (m_cellLength == 0 && !m_cellQuoted) {
                    m_inQuotes = true;
                    m_cellQuoted = true;
                    m_quoteLine = m_line;
                    break;
                }
                if (!keep(c)) return false;
                break;
            default:
                if (!keep(c)) return false;
                break;
            }
        }
        return true;
    }

    // The end of the file: the last record, unless a quote is still open.
    bool finish() {
        if (m_inQuotes) return refuse(SlugReadOutcome::Status::UnclosedQuote, m_quoteLine);
        return endRecord();
    }

private:
    bool refuse(SlugReadOutcome::Status status, qint64 line) {
        outcome.status = status;
        outcome.line = line;
        return false;
    }

    bool keep(char c) {
        if (++m_cellLength > kMaxSlugValueBytes)
            return refuse(SlugReadOutcome::Status::ValueTooLong, m_line);
        if (m_cell < kSlugColumns) m_bytes.push_back(c);
        return true;
    }

    void endCell() {
        if (m_cell < kSlugColumns) m_ends[std::size_t(m_cell)] = m_bytes.size();
        ++m_cell;
        m_cellLength = 0;
        m_cellQuoted = false;
    }

    bool endRecord() {
        const bool blank = m_cell == 0 && m_cellLength == 0 && !m_cellQuoted;
        if (!blank) {
            if (m_maxRecords >= 0 && outcome.records >= m_maxRecords)
                return refuse(SlugReadOutcome::Status::TooManyRecords, m_recordLine);
            endCell();
            SlugRecord record;
            record.line = m_recordLine;
            std::size_t start = 0;
            const int filled = m_cell < kSlugColumns ? m_cell : kSlugColumns;
            for (int c = 0; c < filled; ++c) {
                const std::size_t end = m_ends[std::size_t(c)];
                if (end > start)
                    record.cells[std::size_t(c)] =
                        QByteArrayView(m_bytes.data() + start, qsizetype(end - start));
                start = end;
            }
            m_onRecord(record);
            ++outcome.records;
        }
        m_bytes.clear();
        m_cell = 0;
        m_cellLength = 0;
        m_cellQuoted = false;
        return true;
    }

    const std::function<void(const SlugRecord&)>& m_onRecord;
    const qint64 m_maxRecords;
    std::string m_bytes; // the kept cells of the record, one after the other
    std::array<std::size_t, kSlugColumns> m_ends{};
    int m_cell = 0;             // index of the cell being read (may pass the 16th)
    qsizetype m_cellLength = 0; // characters of it read so far
    bool m_cellQuoted = false;
    bool m_inQuotes = false;
    bool m_afterQuote = false; // just past a quote that closed a quoted value
    bool m_afterCarriageReturn = false;
    qint64 m_line = 1;
    qint64 m_recordLine = 1;
    qint64 m_quoteLine = 1;
};

} // namespace

SlugReadOutcome readSlugFile(QIODevice& device,
                             const std::function<void(const SlugRecord&)>& onRecord,
                             Progress& progress, qint64 maxRecords, qsizetype chunkBytes) {
    RecordBuilder builder(onRecord, maxRecords);
    std::string chunk(std::size_t(chunkBytes > 0 ? chunkBytes : 64 * 1024), '\0');
    qint64 done = 0;
    // The first three bytes are gathered before anything is scanned, so that a
    // byte-order mark split over the first reads is still recognised.
    std::string head;
    bool headScanned = false;
    for (;;) {
        const qint64 got = device.read(chunk.data(), qint64(chunk.size()));
        if (got < 0) {
            builder.outcome.status = SlugReadOutcome::Status::ReadFailed;
            builder.outcome.detail = device.errorString();
            return builder.outcome;
        }
        if (got == 0) break;
        if (!headScanned) {
            head.append(chunk.data(), std::size_t(got));
            if (head.size() >= 3) {
                headScanned = true;
                const qsizetype skip = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
                if (!builder.scan(head.data() + skip, qsizetype(head.size()) - skip))
                    return builder.outcome;
            }
        } else if (!builder.scan(chunk.data(), qsizetype(got))) {
            return builder.outcome;
        }
        done += got;
        if (!progress.step(done)) {
            builder.outcome.status = SlugReadOutcome::Status::Cancelled;
            return builder.outcome;
        }
    }
    if (!headScanned && !builder.scan(head.data(), qsizetype(head.size()))) return builder.outcome;
    (void)builder.finish();
    return builder.outcome;
}

QString slugText(QByteArrayView bytes) {
    if (bytes.isEmpty()) return QString();
    if (bytes.isValidUtf8()) return QString::fromUtf8(bytes);
    return QString::fromLatin1(bytes);
}

} // namespace rv
