#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/CDES.h"
#include "link/LinkFrame.h"

namespace vorn {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

Bytes TextFrame(const std::string& text) {
    Bytes f(kMaxSendFrame);
    f.resize(BuildTextFrame(text, f.data()));
    return f;
}

Bytes BinaryFrame(const Bytes& data) {
    Bytes f(kMaxSendFrame);
    f.resize(BuildBinaryFrame(data.data(), data.size(), f.data()));
    return f;
}

// A frame around any record bytes, for records the builders would never make.
Bytes RawFrame(const Bytes& record) {
    Bytes f(4 + CDES::EncodedSize(record.size()));
    f[0] = 0xDB;
    f[1] = 0xF3;
    f[2] = static_cast<std::uint8_t>((f.size() - 4) & 0xFF);
    f[3] = static_cast<std::uint8_t>((f.size() - 4) >> 8);
    CDES::enc(kLinkKey, record.data(), record.size(), f.data() + 4);
    return f;
}

Bytes Record(std::uint16_t magic, std::uint16_t p, std::uint8_t type, const std::string& payload) {
    Bytes r(5 + payload.size());
    r[0] = static_cast<std::uint8_t>(magic & 0xFF);
    r[1] = static_cast<std::uint8_t>(magic >> 8);
    r[2] = static_cast<std::uint8_t>(p & 0xFF);
    r[3] = static_cast<std::uint8_t>(p >> 8);
    r[4] = type;
    for (size_t i = 0; i < payload.size(); ++i) r[5 + i] = static_cast<std::uint8_t>(payload[i]);
    return r;
}

class Ring {
public:
    Ring() : ring(storage.data(), static_cast<std::uint32_t>(storage.size())) {}
    std::uint32_t put(const Bytes& b) { return ring.put(b.data(), static_cast<std::uint32_t>(b.size())); }
    CutResult cut() {
        error = nullptr;
        return CutFrame(ring, scratch, rec, &error);
    }
    std::string text() const { return reinterpret_cast<const char*>(rec.payload); }

    std::vector<std::uint8_t> storage = std::vector<std::uint8_t>(16384);
    circle_buffer ring;
    FrameScratch scratch;
    LinkRecord rec;
    const char* error = nullptr;
};

TEST(LinkFrame, SizesOfBuiltFrames) {
    const struct {
        const char* name;
        Bytes frame;
        std::uint16_t n;
        std::uint16_t L;
    } cases[] = {
        {"text x", TextFrame("x"), 7, 10},
        {"empty text", TextFrame(""), 6, 10},
        {"3-byte binary", BinaryFrame(Bytes(3, 0xAB)), 8, 10},
        {"1024-byte binary", BinaryFrame(Bytes(1024, 0x11)), 1029, 1034},
        {"1023-character text", TextFrame(std::string(1023, 'a')), 1029, 1034},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.frame.size(), c.L + 4u);
        EXPECT_EQ(c.frame[0], 0xDB);
        EXPECT_EQ(c.frame[1], 0xF3);
        EXPECT_EQ(U16(&c.frame[2]), c.L);
        EXPECT_EQ(U16(&c.frame[4]), c.n);
    }
    EXPECT_EQ(TextFrame("x").size(), 14u);
    EXPECT_EQ(BinaryFrame(Bytes(1024)).size(), 1038u);
}

TEST(LinkFrame, OversizedContentIsRefused) {
    std::uint8_t frame[kMaxSendFrame];
    EXPECT_EQ(BuildTextFrame(std::string(1024, 'a'), frame), 0u);
    const Bytes data(1025);
    EXPECT_EQ(BuildBinaryFrame(data.data(), data.size(), frame), 0u);
}

TEST(LinkFrame, RecordLayoutInsideTheCipher) {
    const Bytes f = TextFrame("x");
    std::uint8_t plain[8];
    size_t n = 0;
    ASSERT_TRUE(CDES::dec(kLinkKey, f.data() + 4, f.size() - 4, plain, &n));
    EXPECT_EQ(n, 7u);
    const Bytes expected = {0xDB, 0xF3, 2, 0, kRecordText, 'x', 0, 0};
    EXPECT_EQ(Bytes(plain, plain + 8), expected);
}

TEST(LinkFrame, CutsTextAndBinaryRecords) {
    Ring r;
    Bytes data(1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    r.put(TextFrame("result:0\n"));
    r.put(BinaryFrame(data));
    r.put(TextFrame(""));
    ASSERT_EQ(r.cut(), CutResult::Frame);
    EXPECT_EQ(r.rec.type, kRecordText);
    EXPECT_EQ(r.rec.length, 10);
    EXPECT_EQ(r.text(), "result:0\n");
    ASSERT_EQ(r.cut(), CutResult::Frame);
    EXPECT_EQ(r.rec.type, kRecordBinary);
    ASSERT_EQ(r.rec.length, 1024);
    EXPECT_EQ(Bytes(r.rec.payload, r.rec.payload + 1024), data);
    ASSERT_EQ(r.cut(), CutResult::Frame);
    EXPECT_EQ(r.rec.length, 1);
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(r.cut(), CutResult::NeedMore);
    EXPECT_EQ(r.ring.used(), 0u);
}

TEST(LinkFrame, IncompleteFramesWait) {
    Ring r;
    const Bytes f = TextFrame("getover\n");
    r.put(Bytes(f.begin(), f.begin() + 3));
    EXPECT_EQ(r.cut(), CutResult::NeedMore);
    EXPECT_EQ(r.ring.used(), 3u);  // three bytes stay untouched
    // The rest arrives one byte at a time; the frame is cut with its last byte only.
    for (size_t i = 3; i < f.size(); ++i) {
        EXPECT_EQ(r.cut(), CutResult::NeedMore) << i;
        EXPECT_EQ(r.ring.used(), i);
        r.put(Bytes{f[i]});
    }
    ASSERT_EQ(r.cut(), CutResult::Frame);
    EXPECT_EQ(r.text(), "getover\n");
}

TEST(LinkFrame, FramesAcrossTheRingsEnd) {
    Ring r;
    // Move the indices close to the end of storage so the next frames wrap.
    const Bytes filler(16384 - 20);
    r.put(filler);
    r.ring.consume(static_cast<std::uint32_t>(filler.size()));
    for (const char* text : {"version\nvalue:1568\n", "result:7\nmsg:wrapped around\n"}) {
        r.put(TextFrame(text));
        ASSERT_EQ(r.cut(), CutResult::Frame);
        EXPECT_EQ(r.text(), text);
    }
}

TEST(LinkFrame, BadFramesAreErrors) {
    const std::string ok = "result:0\n";
    Bytes badMagic = TextFrame(ok);
    badMagic[1] = 0xF4;
    Bytes tooLong(1085, 0);  // L = 1081, g = 1085 > 1084, every byte present
    tooLong[0] = 0xDB, tooLong[1] = 0xF3, tooLong[2] = 1081 & 0xFF, tooLong[3] = 1081 >> 8;
    auto withBody = [](size_t L) {
        Bytes b(4 + L, 0x42);
        b[0] = 0xDB, b[1] = 0xF3, b[2] = static_cast<std::uint8_t>(L), b[3] = 0;
        return b;
    };
    // The plain length and the record's p agree but claim far more than the 10-byte body
    // holds; trusting them would write past the record buffer.
    Bytes overLong = RawFrame(Record(LINK_MAGIC, 60000, kRecordText, "ab"));
    overLong[4] = 60005 & 0xFF;
    overLong[5] = 60005 >> 8;
    const struct {
        const char* name;
        Bytes frame;
        const char* error;
    } cases[] = {
        {"frame magic", badMagic, "frame is error!"},
        {"L = 1081", tooLong, "frame is error!"},
        {"body 9", withBody(9), "decode frame failed"},
        {"body 16", withBody(16), "decode frame failed"},
        {"body 2", withBody(2), "decode frame failed"},
        {"record magic", RawFrame(Record(0xF3DC, 2, kRecordText, "x")), "frame flag errors"},
        {"p + 5 != n", RawFrame(Record(LINK_MAGIC, 5, kRecordText, "x")), "frame flag errors"},
        {"n too short", RawFrame(Bytes{0xDB, 0xF3, 0}), "frame flag errors"},
        {"stated length beyond body", overLong, "frame flag errors"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ring r;
        r.put(c.frame);
        ASSERT_EQ(r.cut(), CutResult::Error);
        ASSERT_NE(r.error, nullptr);
        EXPECT_STREQ(r.error, c.error);
    }
}

TEST(LinkFrame, OtherRecordTypesAreCutForTheHandlerToRefuse) {
    Ring r;
    r.put(RawFrame(Record(LINK_MAGIC, 1, 7, "z")));
    ASSERT_EQ(r.cut(), CutResult::Frame);
    EXPECT_EQ(r.rec.type, 7);
}

TEST(LinkFrame, TextWithoutItsZeroByteStillEnds) {
    Ring r;
    r.put(RawFrame(Record(LINK_MAGIC, 3, kRecordText, "abc")));
    ASSERT_EQ(r.cut(), CutResult::Frame);
    EXPECT_EQ(r.text(), "abc");
}

TEST(TextMessage, IsCommand) {
    const char* after = nullptr;
    EXPECT_TRUE(IsCommand("getover\n", "getover", &after));
    EXPECT_STREQ(after, "");
    EXPECT_TRUE(IsCommand("abort\nreason:x\n", "abort", &after));
    EXPECT_STREQ(after, "reason:x\n");
    EXPECT_FALSE(IsCommand("getover", "getover"));     // no line end
    EXPECT_FALSE(IsCommand("getoverx\n", "getover"));  // longer word
    EXPECT_FALSE(IsCommand(" getover\n", "getover"));
    EXPECT_FALSE(IsCommand("get\n", "getover"));
}

TEST(TextMessage, GetField) {
    const struct {
        const char* text;
        const char* key;
        bool found;
        const char* value;
    } cases[] = {
        {"result:0\n", "result", true, "0"},
        {"result:12\nmsg:disk full\n", "msg", true, "disk full"},
        {"result:0\nmsg:\n", "msg", true, ""},
        // The first occurrence anywhere counts, even inside another line.
        {"msg:no result:5 here\nresult:0\n", "result", true, "5 here"},
        {"version\nvalue:1568\n", "version", true, "value:1568"},  // separator is the "\n"
        {"result:0", "result", false, ""},                         // no line end
        {"msg:x\n", "result", false, ""},
        {"result", "result", false, ""},
    };
    for (const auto& c : cases) {
        std::string value = "unchanged";
        EXPECT_EQ(GetField(c.text, c.key, value), c.found) << c.text;
        if (c.found) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

}  // namespace
}  // namespace vorn
