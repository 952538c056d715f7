#include "import/StagedRows.h"

namespace rv {

const QStringList& StagedRows::columnNames() {
    static const QStringList names = [] {
        QStringList n{QStringLiteral("SlugDate")};
        for (int i = 1; i < kSlugColumns; ++i)
            n << QStringLiteral("C") + QString::number(i);
        return n;
    }();
    return names;
}

QByteArrayView StagedRows::bytes(qint64 row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kSlugColumns) return {};
    const std::size_t i = std::size_t(row) * kSlugColumns + std::size_t(column);
    const std::uint32_t start = i == 0 ? 0 : m_ends[i - 1];
    return QByteArrayView(m_bytes.data() + start, qsizetype(m_ends[i] - start));
}

QString StagedRows::text(qint64 row, int column) const {
    return slugText(bytes(row, column));
}

void StagedRows::append(const SlugRecord& record) {
    for (const QByteArrayView& cell : record.cells) {
        m_bytes.insert(m_bytes.end(), cell.begin(), cell.end());
        m_ends.push_back(std::uint32_t(m_bytes.size()));
    }
}

void StagedRows::clear() {
    std::vector<char>().swap(m_bytes);
    std::vector<std::uint32_t>().swap(m_ends);
}

} // namespace rv
