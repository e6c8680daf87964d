#pragma once
// The link's wire units. All integers little-endian.
//
// LinkRecord (plain):  u16 magic 0xF3DB | u16 payload length p | u8 type | p payload bytes
//   type 0 = text (p = strlen + 1, the zero byte is sent), 1 = binary data; p <= 1024.
// LinkFrame (wire):    u16 magic 0xF3DB | u16 body length L | body
//   body = CDES::enc(record): u16 plain length n (= p + 5) | ciphertext of n bytes padded to 8.
//   L = 2 + 8 * ceil(n / 8); a sender writes at most 1038 bytes, a receiver takes up to 1084.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/circle_buffer.h"

namespace vorn {

inline constexpr std::uint16_t LINK_MAGIC = 0xF3DB;
inline constexpr std::size_t kRecordHeaderSize = 5;
inline constexpr std::size_t kMaxPayload = 1024;
inline constexpr std::size_t kMaxRecord = kRecordHeaderSize + kMaxPayload;  // 1029
inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr std::size_t kMaxSendFrame = kFrameHeaderSize + 2 + 8 * ((kMaxRecord + 7) / 8);
inline constexpr std::size_t kMaxRecvFrame = 1084;
inline constexpr std::size_t kMaxText = kMaxPayload - 1;  // 1023 characters + zero byte
static_assert(kMaxRecord == 1029);
static_assert(kMaxSendFrame == 1038);

enum LinkRecordType : std::uint8_t { kRecordText = 0, kRecordBinary = 1 };

// Builds a frame into `frame` (at least kMaxSendFrame bytes); returns its size, or 0 when the
// text is longer than 1023 characters or the data longer than 1024 bytes.
std::size_t BuildTextFrame(std::string_view text, std::uint8_t* frame);
std::size_t BuildBinaryFrame(const void* data, std::size_t len, std::uint8_t* frame);

// One record cut from the receive ring. `payload` points into the caller's record buffer.
struct LinkRecord {
    std::uint8_t type = 0;
    std::uint16_t length = 0;  // p
    const std::uint8_t* payload = nullptr;
};

enum class CutResult { Frame, NeedMore, Error };

// Buffer for CutFrame: holds one received frame and its deciphered record.
struct FrameScratch {
    std::uint8_t frame[kMaxRecvFrame];
    std::uint8_t record[kMaxRecvFrame + 8];
};

// Takes the next complete frame out of `ring` and deciphers it. NeedMore leaves the ring
// untouched. On Error, `error` is the log text ("frame is error!", "decode frame failed",
// "frame flag errors"); after "frame is error!" the ring is untouched, after the other two
// the bad frame has been taken out. Either way the caller closes the session.
// A text record's payload is zero-terminated inside scratch.record.
CutResult CutFrame(circle_buffer& ring, FrameScratch& scratch, LinkRecord& out,
                   const char** error);

// True when `text` begins with `word` followed by "\n"; *after points past that line.
bool IsCommand(const char* text, const char* word, const char** after = nullptr);
// Value of the first occurrence of `key` anywhere in `text`: from one character after the key
// up to (not including) the next "\n". False when the key or the newline is absent.
bool GetField(const char* text, const char* key, std::string& value);

}  // namespace vorn
