#pragma once
// Byte ring over caller-owned storage. One slot stays empty, so a ring of capacity C holds
// at most C - 1 bytes. put() of more than the free space copies what fits and drops the rest.
#include <cstddef>
#include <cstdint>

namespace vorn {

class circle_buffer {
public:
    circle_buffer() = default;
    circle_buffer(std::uint8_t* storage, std::uint32_t capacity) { attach(storage, capacity); }
    void attach(std::uint8_t* storage, std::uint32_t capacity);

    std::uint32_t used() const;
    std::uint32_t space() const;
    std::uint32_t capacity() const { return m_capacity; }
    std::uint32_t put(const void* src, std::uint32_t len);
    std::uint32_t get(void* dst, std::uint32_t len);
    std::uint32_t peek(void* dst, std::uint32_t len) const;
    std::uint32_t consume(std::uint32_t len);
    void reset() { m_read = m_write = 0; }

private:
    std::uint32_t m_capacity = 0;
    std::uint32_t m_read = 0;
    std::uint32_t m_write = 0;
    std::uint8_t* m_storage = nullptr;
};

}  // namespace vorn
