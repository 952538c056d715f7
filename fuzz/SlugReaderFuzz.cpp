// libFuzzer target: the datalogger reader on any bytes. Besides never crashing, it checks
// what the reader promises: the same records whatever the size of the chunks read, no
// kept value longer than the limit, a refused file refused with a line inside the file,
// and staged rows that give back exactly the cells read.
#include "import/SlugReader.h"
#include "import/StagedRows.h"
#include <QBuffer>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Read {
    rv::SlugReadOutcome outcome;
    std::vector<std::string> records; // cells joined by a 0 byte
    rv::StagedRows staged;
};

Read read(const QByteArray& bytes, qsizetype chunk) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    rv::NoProgress none;
    Read r;
    r.outcome = rv::readSlugFile(
        buffer,
        [&](const rv::SlugRecord& record) {
            std::string joined;
            for (const QByteArrayView& cell : record.cells) {
                if (cell.size() > rv::kMaxSlugValueBytes) std::abort();
                (void)rv::slugText(cell);
                joined.append(cell.data(), std::size_t(cell.size()));
                joined.push_back('\0');
            }
            r.records.push_back(joined);
            r.staged.append(record);
        },
        none, 1000, chunk);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Read whole = read(bytes, 65536);
    const Read small = read(bytes, 3);
    if (whole.outcome.status != small.outcome.status || whole.outcome.line != small.outcome.line ||
        whole.records != small.records || whole.outcome.records != qint64(whole.records.size()))
        std::abort();
    if (!whole.outcome.ok() && whole.outcome.status != rv::SlugReadOutcome::Status::Cancelled) {
        const qint64 lines = bytes.count('\n') + bytes.count('\r') + 1;
        if (whole.outcome.line < 1 || whole.outcome.line > lines) std::abort();
    }
    // The staged rows hold exactly the cells read.
    if (whole.staged.rowCount() != qint64(whole.records.size())) std::abort();
    for (qint64 r = 0; r < whole.staged.rowCount(); ++r) {
        std::string joined;
        for (int c = 0; c < rv::kSlugColumns; ++c) {
            const QByteArrayView cell = whole.staged.bytes(r, c);
            if (whole.staged.isNull(r, c) != cell.isEmpty()) std::abort();
            joined.append(cell.data(), std::size_t(cell.size()));
            joined.push_back('\0');
        }
        if (joined != whole.records[std::size_t(r)]) std::abort();
    }
    return 0;
}
