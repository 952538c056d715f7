#pragma once
// The staged rows of a datalogger file (rsImport): a read-only snapshot of the working
// copy, 16 text columns named SlugDate and C1 ... C15, rows in file order. The cells are
// kept as the file's bytes in one buffer, so that a large file costs little more memory
// than its own size; texts are made only when a cell is read.
#include "import/SlugReader.h"
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace rv {

class StagedRows {
public:
    // The staged columns by position: 0 is SlugDate, 1 to 15 are C1 to C15.
    static const QStringList& columnNames();

    qint64 rowCount() const { return qint64(m_ends.size() / kSlugColumns); }
    bool isEmpty() const { return m_ends.empty(); }
    // A cell's text; a null cell gives a null text. Row 0 is the first line read.
    QString text(qint64 row, int column) const;
    bool isNull(qint64 row, int column) const { return bytes(row, column).isEmpty(); }
    QByteArrayView bytes(qint64 row, int column) const;

    void append(const SlugRecord& record);
    // Releases the rows and their memory.
    void clear();

private:
    std::vector<char> m_bytes;
    std::vector<std::uint32_t> m_ends; // where each cell ends in m_bytes, 16 per row
};

} // namespace rv
