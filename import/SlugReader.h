#pragma once
// The reader of datalogger files: plain text, one record per line, values separated by
// commas in the common comma-separated form, no header line. It streams the file from a
// QIODevice and hands each record to a callback as 16 text cells; nothing is converted
// (001 stays 001).
//
// The form read:
//  - a value may be enclosed in double quotes, which are not part of it; inside quotes a
//    doubled quote stands for one quote, and commas and line breaks are part of the value;
//    characters after a closing quote up to the next comma are kept as written;
//  - a line ends with CR LF, LF or a lone CR; a line with no characters at all (such as
//    the blank last line of most files) is no record;
//  - a UTF-8 byte-order mark at the start of the file is skipped;
//  - the first 16 values of a record fill the 16 cells; missing values and empty values
//    leave their cells null; values after the 16th are read and ignored.
//
// What is refused (the whole file, with the line it happened on): a zero byte (binary
// data, never found in a text file), a quoted value that is never closed, and a value
// longer than kMaxSlugValueBytes (no datalogger writes one: such a file is not a
// datalogger file, and refusing it keeps the memory bounded whatever the file holds).
#include "platform/Progress.h"
#include <QByteArrayView>
#include <QString>
#include <array>
#include <functional>

class QIODevice;

namespace rv {

inline constexpr int kSlugColumns = 16;
inline constexpr qsizetype kMaxSlugValueBytes = 4096;

// One record as read: the bytes of each cell (UTF-8 or another 8-bit character set, as
// the file holds them). An empty view is a null cell. The views are valid only during
// the callback.
struct SlugRecord {
    std::array<QByteArrayView, kSlugColumns> cells;
    qint64 line = 0; // the 1-based line the record begins on
};

struct SlugReadOutcome {
    enum class Status {
        Read,
        Cancelled,
        Binary,
        UnclosedQuote,
        ValueTooLong,
        TooManyRecords,
        ReadFailed
    };
    Status status = Status::Read;
    qint64 records = 0; // records handed to the callback
    qint64 line = 0;    // where a refused file went wrong (1-based)
    QString detail;     // the device's error text for ReadFailed
    bool ok() const { return status == Status::Read; }
};

// Reads the device to its end. The bytes read so far are reported to progress after
// every chunk (the caller has begun it); a cancel ends the reading at once. A file of
// more than maxRecords records (when not negative) is refused at the first record too
// many. chunkBytes is the size of each read (tests vary it to prove the result does not
// depend on it).
SlugReadOutcome readSlugFile(QIODevice& device,
                             const std::function<void(const SlugRecord&)>& onRecord,
                             Progress& progress, qint64 maxRecords = -1,
                             qsizetype chunkBytes = 64 * 1024);

// The text of a cell: UTF-8 when its bytes are valid UTF-8, otherwise each byte as the
// Latin-1 character it stands for (a file written in an 8-bit character set still
// reads, letter for letter). A null cell gives a null text.
QString slugText(QByteArrayView bytes);

} // namespace rv
