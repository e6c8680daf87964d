#include "link/circle_buffer.h"

#include <algorithm>
#include <cstring>

namespace vorn {

void circle_buffer::attach(std::uint8_t* storage, std::uint32_t capacity) {
    m_storage = storage;
    m_capacity = capacity;
    m_read = m_write = 0;
}

std::uint32_t circle_buffer::used() const {
    return m_write >= m_read ? m_write - m_read : m_capacity + m_write - m_read;
}

std::uint32_t circle_buffer::space() const {
    if (m_capacity == 0) {
        return 0;
    }
    return m_write >= m_read ? m_capacity + m_read - m_write - 1 : m_read - m_write - 1;
}

std::uint32_t circle_buffer::put(const void* src, std::uint32_t len) {
    len = std::min(len, space());
    if (len == 0) {
        return 0;  // also covers a ring without storage (capacity 0)
    }
    auto* s = static_cast<const std::uint8_t*>(src);
    std::uint32_t first = std::min(len, m_capacity - m_write);
    std::memcpy(m_storage + m_write, s, first);
    std::memcpy(m_storage, s + first, len - first);
    m_write = (m_write + len) % m_capacity;
    return len;
}

std::uint32_t circle_buffer::peek(void* dst, std::uint32_t len) const {
    len = std::min(len, used());
    if (len == 0) {
        return 0;
    }
    auto* d = static_cast<std::uint8_t*>(dst);
    std::uint32_t first = std::min(len, m_capacity - m_read);
    std::memcpy(d, m_storage + m_read, first);
    std::memcpy(d + first, m_storage, len - first);
    return len;
}

std::uint32_t circle_buffer::get(void* dst, std::uint32_t len) {
    len = peek(dst, len);
    if (len == 0) {
        return 0;
    }
    m_read = (m_read + len) % m_capacity;
    return len;
}

std::uint32_t circle_buffer::consume(std::uint32_t len) {
    len = std::min(len, used());
    if (len) {
        m_read = (m_read + len) % m_capacity;
    }
    return len;
}

}  // namespace vorn
