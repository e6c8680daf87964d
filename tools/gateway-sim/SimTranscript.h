#pragma once
// Record of every message the simulator received, in memory and optionally as JSON lines:
//   {"seq":1,"type":"text","text":"login\npasswd:admin\n..."}
//   {"seq":5,"type":"binary","bytes":4096}   (consecutive binary frames of one run coalesced)
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace vorn {

struct SimTranscriptEntry {
    int seq = 0;
    bool binary = false;
    std::string text;         // text messages
    std::uint64_t bytes = 0;  // binary runs
};

class CSimTranscript {
public:
    CSimTranscript() = default;
    ~CSimTranscript();
    CSimTranscript(const CSimTranscript&) = delete;
    CSimTranscript& operator=(const CSimTranscript&) = delete;

    bool Open(const std::filesystem::path& file);  // truncates; false when it cannot
    void AddText(const std::string& text);
    void AddBinary(std::uint64_t bytes);
    void EndBinaryRun();  // the next binary frame starts a new line
    const std::vector<SimTranscriptEntry>& Entries() const { return m_entries; }

private:
    void WriteLine(const SimTranscriptEntry& e);
    std::vector<SimTranscriptEntry> m_entries;
    bool m_inBinaryRun = false;
    std::FILE* m_file = nullptr;
};

// JSON string literal (quotes included). Bytes above 0x7F are written as \u00XX, so any
// 8-bit text gives valid UTF-8 JSON.
std::string JsonQuote(const std::string& text);

}  // namespace vorn
