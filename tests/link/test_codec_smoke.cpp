#include <gtest/gtest.h>

#include "link/LinkFrame.h"

namespace vorn {
namespace {

TEST(Codec, TextFrameRoundTrip) {
    std::uint8_t frame[kMaxSendFrame];
    std::size_t size = BuildTextFrame("result:0\n", frame);
    ASSERT_GT(size, 0u);
    std::uint8_t storage[16384];
    circle_buffer ring(storage, sizeof storage);
    ASSERT_EQ(ring.put(frame, static_cast<std::uint32_t>(size)), size);
    FrameScratch scratch;
    LinkRecord rec;
    const char* err = nullptr;
    ASSERT_EQ(CutFrame(ring, scratch, rec, &err), CutResult::Frame);
    EXPECT_EQ(rec.type, kRecordText);
    EXPECT_STREQ(reinterpret_cast<const char*>(rec.payload), "result:0\n");
    EXPECT_EQ(ring.used(), 0u);
}

}  // namespace
}  // namespace vorn
