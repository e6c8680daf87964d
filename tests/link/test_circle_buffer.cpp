#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "link/circle_buffer.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sequence(size_t n, std::uint8_t start = 0) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), start);
    return b;
}

TEST(CircleBuffer, HoldsOneByteLessThanItsCapacity) {
    std::vector<std::uint8_t> storage(16384);
    circle_buffer ring(storage.data(), 16384);
    EXPECT_EQ(ring.used(), 0u);
    EXPECT_EQ(ring.space(), 16383u);
    const Bytes big = Sequence(20000);
    EXPECT_EQ(ring.put(big.data(), 20000), 16383u);  // the rest is dropped
    EXPECT_EQ(ring.used(), 16383u);
    EXPECT_EQ(ring.space(), 0u);
    EXPECT_EQ(ring.put(big.data(), 1), 0u);
    Bytes out(20000);
    EXPECT_EQ(ring.get(out.data(), 20000), 16383u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16383, big.begin()));
    EXPECT_EQ(ring.used(), 0u);
}

TEST(CircleBuffer, WrapsAroundOnPutGetPeekAndConsume) {
    std::uint8_t storage[16];
    circle_buffer ring(storage, sizeof storage);
    const Bytes a = Sequence(12, 100);
    ASSERT_EQ(ring.put(a.data(), 12), 12u);
    EXPECT_EQ(ring.consume(10), 10u);  // read index 10, write index 12
    const Bytes b = Sequence(9, 200);  // 4 bytes up to the end, 5 wrap to the front
    ASSERT_EQ(ring.put(b.data(), 9), 9u);
    EXPECT_EQ(ring.used(), 11u);
    EXPECT_EQ(ring.space(), 4u);

    Bytes peeked(11);
    EXPECT_EQ(ring.peek(peeked.data(), 100), 11u);
    Bytes expected = {a[10], a[11]};
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(peeked, expected);
    EXPECT_EQ(ring.used(), 11u);  // peek leaves the bytes

    Bytes got(5);
    EXPECT_EQ(ring.get(got.data(), 5), 5u);  // crosses the end of storage
    EXPECT_EQ(got, Bytes(expected.begin(), expected.begin() + 5));
    EXPECT_EQ(ring.consume(100), 6u);  // consume is limited to what is there
    EXPECT_EQ(ring.used(), 0u);
    EXPECT_EQ(ring.space(), 15u);

    // Fill completely across the wrap point and read everything back.
    const Bytes c = Sequence(15, 50);
    EXPECT_EQ(ring.put(c.data(), 15), 15u);
    Bytes all(15);
    EXPECT_EQ(ring.get(all.data(), 15), 15u);
    EXPECT_EQ(all, c);
}

TEST(CircleBuffer, ResetKeepsStorageAndEmpties) {
    std::uint8_t storage[8];
    circle_buffer ring(storage, sizeof storage);
    ring.put("abcde", 5);
    ring.consume(3);
    ring.reset();
    EXPECT_EQ(ring.used(), 0u);
    EXPECT_EQ(ring.space(), 7u);
    EXPECT_EQ(ring.put("1234567", 7), 7u);
    char out[8] = {};
    EXPECT_EQ(ring.get(out, 7), 7u);
    EXPECT_STREQ(out, "1234567");
}

TEST(CircleBuffer, RingWithoutStorageTakesNothing) {
    circle_buffer ring;
    char b[4] = {};
    EXPECT_EQ(ring.space(), 0u);
    EXPECT_EQ(ring.put("abc", 3), 0u);
    EXPECT_EQ(ring.get(b, 3), 0u);
    EXPECT_EQ(ring.peek(b, 3), 0u);
    EXPECT_EQ(ring.consume(3), 0u);
    EXPECT_EQ(ring.used(), 0u);
}

}  // namespace
}  // namespace vorn
