#include "store/Arena.h"
#include <algorithm>
#include <cstdlib>
#include <new>
#if defined(Q_OS_LINUX) || defined(__linux__)
#include <sys/mman.h>
#define ROCKVANE_HUGE_PAGES 1
#endif

namespace rv {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kMapFrom = std::size_t(4) << 20;
} // namespace

void Arena::grow(std::size_t capacity) {
    char* data = nullptr;
    void* mapping = nullptr;
    std::size_t mappingLength = 0;
#ifdef ROCKVANE_HUGE_PAGES
    if (capacity >= kMapFrom) {
        // Map a little more than asked so the buffer can start on a huge-page boundary.
        capacity = (capacity + kHugePage - 1) / kHugePage * kHugePage;
        mappingLength = capacity + kHugePage;
        mapping = mmap(nullptr, mappingLength, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                       -1, 0);
        if (mapping == MAP_FAILED) {
            mapping = nullptr;
        } else {
            const auto base = reinterpret_cast<std::uintptr_t>(mapping);
            data = reinterpret_cast<char*>((base + kHugePage - 1) / kHugePage * kHugePage);
            madvise(data, capacity, MADV_HUGEPAGE);
        }
    }
#endif
    if (!data) {
        mapping = nullptr;
        data = static_cast<char*>(std::malloc(capacity));
        if (!data) throw std::bad_alloc();
    }
    if (m_size > 0) std::memcpy(data, m_data, m_size);
    const std::size_t size = m_size;
    release();
    m_data = data;
    m_size = size;
    m_capacity = capacity;
    m_mapping = mapping;
    m_mappingLength = mappingLength;
}

void Arena::release() {
#ifdef ROCKVANE_HUGE_PAGES
    if (m_mapping) {
        munmap(m_mapping, m_mappingLength);
    } else {
        std::free(m_data);
    }
#else
    std::free(m_data);
#endif
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_mapping = nullptr;
    m_mappingLength = 0;
}

} // namespace rv
