#include "link/LinkFrame.h"

#include <cstring>

#include "link/CDES.h"

namespace vorn {
namespace {

void PutU16(std::uint8_t* p, std::size_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::size_t BuildFrame(std::uint8_t type, const void* data, std::size_t p, std::uint8_t* frame) {
    std::uint8_t record[kMaxRecord];
    PutU16(record, LINK_MAGIC);
    PutU16(record + 2, p);
    record[4] = type;
    if (p) {
        std::memcpy(record + kRecordHeaderSize, data, p);
    }
    const std::size_t n = p + kRecordHeaderSize;
    const std::size_t body = CDES::EncodedSize(n);
    PutU16(frame, LINK_MAGIC);
    PutU16(frame + 2, body);
    CDES::enc(kLinkKey, record, n, frame + kFrameHeaderSize);
    return body + kFrameHeaderSize;
}

}  // namespace

std::size_t BuildTextFrame(std::string_view text, std::uint8_t* frame) {
    if (text.size() > kMaxText) {
        return 0;
    }
    char payload[kMaxPayload];
    std::memcpy(payload, text.data(), text.size());
    payload[text.size()] = '\0';
    return BuildFrame(kRecordText, payload, text.size() + 1, frame);
}

std::size_t BuildBinaryFrame(const void* data, std::size_t len, std::uint8_t* frame) {
    if (len > kMaxPayload) {
        return 0;
    }
    return BuildFrame(kRecordBinary, data, len, frame);
}

CutResult CutFrame(circle_buffer& ring, FrameScratch& s, LinkRecord& out, const char** error) {
    if (ring.used() < kFrameHeaderSize) {
        return CutResult::NeedMore;
    }
    const std::uint32_t f = ring.peek(s.frame, kMaxRecvFrame);
    const std::size_t bodyLen = GetU16(s.frame + 2);
    const std::size_t g = bodyLen + kFrameHeaderSize;
    if (g > kMaxRecvFrame || GetU16(s.frame) != LINK_MAGIC) {
        *error = "frame is error!";
        return CutResult::Error;
    }
    if (f < g) {
        return CutResult::NeedMore;
    }
    ring.consume(static_cast<std::uint32_t>(g));
    std::size_t n = 0;
    // A body shorter than one block cannot hold a record header.
    if (bodyLen < 10 ||
        !CDES::dec(kLinkKey, s.frame + kFrameHeaderSize, bodyLen, s.record, &n)) {
        *error = "decode frame failed";
        return CutResult::Error;
    }
    // The stated plain length must lie inside the deciphered bytes.
    if (n > bodyLen - 2 || n < kRecordHeaderSize || GetU16(s.record) != LINK_MAGIC ||
        GetU16(s.record + 2) + kRecordHeaderSize != n) {
        *error = "frame flag errors";
        return CutResult::Error;
    }
    out.type = s.record[4];
    out.length = GetU16(s.record + 2);
    out.payload = s.record + kRecordHeaderSize;
    s.record[n] = '\0';  // a text that lacks its zero byte still ends here
    return CutResult::Frame;
}

bool IsCommand(const char* text, const char* word, const char** after) {
    const std::size_t len = std::strlen(word);
    if (std::strncmp(text, word, len) != 0 || text[len] != '\n') {
        return false;
    }
    if (after) {
        *after = text + len + 1;
    }
    return true;
}

bool GetField(const char* text, const char* key, std::string& value) {
    const char* hit = std::strstr(text, key);
    if (!hit) {
        return false;
    }
    const char* start = hit + std::strlen(key);
    if (*start == '\0') {
        return false;
    }
    ++start;  // the separator, normally ':'
    const char* nl = std::strchr(start, '\n');
    if (!nl) {
        return false;
    }
    value.assign(start, nl);
    return true;
}

}  // namespace vorn
