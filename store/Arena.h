#pragma once
// The growing byte buffer a recordset keeps its rows in. Large buffers are mapped with
// transparent huge pages where the system offers them, so that filling 100,000 readings
// takes a few dozen page faults instead of thousands.
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rv {

class Arena {
public:
    Arena() = default;
    ~Arena() { release(); }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    qsizetype size() const { return qsizetype(m_size); }
    const char* constData() const { return m_data; }
    // Shrinks to n bytes (n no larger than the size); the capacity stays.
    void resize(qsizetype n) { m_size = std::size_t(n); }
    void reserve(qsizetype n) {
        if (std::size_t(n) > m_capacity) grow(std::size_t(n));
    }
    void append(const char* bytes, qsizetype n) {
        ensure(std::size_t(n));
        if (n > 0) std::memcpy(m_data + m_size, bytes, std::size_t(n));
        m_size += std::size_t(n);
    }
    void append(char c) {
        ensure(1);
        m_data[m_size++] = c;
    }
    void append(qsizetype count, char c) {
        ensure(std::size_t(count));
        std::memset(m_data + m_size, c, std::size_t(count));
        m_size += std::size_t(count);
    }
    void append(const QByteArray& bytes) { append(bytes.constData(), bytes.size()); }
    // Gives all memory back.
    void release();

private:
    void ensure(std::size_t more) {
        if (m_size + more > m_capacity) grow(std::max(m_capacity * 2, m_size + more));
    }
    void grow(std::size_t capacity);

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    void* m_mapping = nullptr; // a mapped buffer: its start and length
    std::size_t m_mappingLength = 0;
};

} // namespace rv
