// The session's receive path: bytes arrive in arbitrary pieces, go into a receive ring of the
// session's size, frames are cut and deciphered, and text records are read field by field the
// way the session's frame handler reads them.
//
// Input: byte 0 picks the mode, byte 1 seeds the piece sizes, the rest is the data.
//   mode 0: the data is wire bytes as they are.
//   mode 1: the data is a list of plain bodies (u16 length, bytes), each enciphered into a
//           frame, so the deciphered record (magic, length, type, payload) is the fuzzer's.
//   mode 2: the data is one text that must come back unchanged through a built frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/CDES.h"
#include "link/CGatewaySession.h"
#include "link/LinkFrame.h"
#include "link/circle_buffer.h"

namespace {

using vorn::CutResult;
using vorn::LinkRecord;

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

// What the frame handler takes from a text record.
void ReadFields(const LinkRecord& record) {
    if (record.type != vorn::kRecordText) {
        return;
    }
    const char* text = reinterpret_cast<const char*>(record.payload);
    Check(std::strlen(text) <= record.length);
    std::string value;
    if (vorn::GetField(text, "result", value)) {
        (void)std::atoi(value.c_str());
        std::string msg;
        vorn::GetField(text, "msg", msg);
        return;
    }
    const char* after = nullptr;
    vorn::IsCommand(text, "abort", &after);
    vorn::IsCommand(text, "getover", &after);
    if (vorn::GetField(text, "version", value)) {
        (void)std::atoi(value.c_str());
    }
}

struct Pieces {
    std::uint32_t state;
    std::uint32_t Next() {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 16) % 700;
    }
};

// Feeds `wire` in pieces the way the session reads its socket (never more than the ring's free
// space) and cuts frames after each piece. Returns the records' texts; stops at an error.
std::vector<std::string> Receive(const std::vector<std::uint8_t>& wire, std::uint8_t seed,
                                 bool* failed) {
    std::vector<std::uint8_t> storage(vorn::kSessionRingSize);
    vorn::circle_buffer ring(storage.data(), vorn::kSessionRingSize);
    auto scratch = std::make_unique<vorn::FrameScratch>();
    Pieces pieces{seed};
    std::vector<std::string> texts;
    std::size_t at = 0;
    *failed = false;
    while (at < wire.size()) {
        const std::uint32_t space = ring.space();
        // A full ring always holds a whole frame (or an error), so reading never stalls.
        Check(space > 0);
        const std::uint32_t n = std::min<std::uint32_t>(
            {pieces.Next(), space, static_cast<std::uint32_t>(wire.size() - at)});
        Check(ring.put(wire.data() + at, n) == n);
        at += n;
        while (ring.used() >= vorn::kFrameHeaderSize) {
            LinkRecord record;
            const char* error = nullptr;
            const CutResult r = vorn::CutFrame(ring, *scratch, record, &error);
            if (r == CutResult::NeedMore) {
                Check(ring.used() < vorn::kMaxRecvFrame);
                break;
            }
            if (r == CutResult::Error) {
                Check(error != nullptr);
                *failed = true;
                return texts;
            }
            ReadFields(record);
            texts.emplace_back(reinterpret_cast<const char*>(record.payload), record.length);
        }
    }
    return texts;
}

void PutU16(std::vector<std::uint8_t>& v, std::size_t x) {
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
    v.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint8_t mode = data[0] % 3;
    const std::uint8_t seed = data[1];
    data += 2;
    size -= 2;
    bool failed = false;
    if (mode == 0) {
        Receive(std::vector<std::uint8_t>(data, data + size), seed, &failed);
    } else if (mode == 1) {
        std::vector<std::uint8_t> wire;
        std::size_t at = 0;
        while (at + 2 <= size) {
            std::size_t n = (data[at] | data[at + 1] << 8) % 1100;
            at += 2;
            n = std::min(n, size - at);
            std::vector<std::uint8_t> body(vorn::CDES::EncodedSize(n));
            if (!vorn::CDES::enc(vorn::kLinkKey, data + at, n, body.data())) {
                break;
            }
            at += n;
            PutU16(wire, vorn::LINK_MAGIC);
            PutU16(wire, body.size());
            wire.insert(wire.end(), body.begin(), body.end());
        }
        Receive(wire, seed, &failed);
    } else {
        const std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 1023));
        std::vector<std::uint8_t> frame(vorn::kMaxSendFrame);
        const std::size_t n = vorn::BuildTextFrame(text, frame.data());
        Check(n > 0 && n <= vorn::kMaxSendFrame);
        frame.resize(n);
        // The same frame twice: both come back whole, in order.
        std::vector<std::uint8_t> wire = frame;
        wire.insert(wire.end(), frame.begin(), frame.end());
        const std::vector<std::string> texts = Receive(wire, seed, &failed);
        Check(!failed && texts.size() == 2);
        for (const std::string& t : texts) Check(t == text + std::string(1, '\0'));
    }
    return 0;
}
