#include "tools/gateway-sim/SimTranscript.h"

namespace vorn {

std::string JsonQuote(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c > 0x7E) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

CSimTranscript::~CSimTranscript() {
    EndBinaryRun();
    if (m_file) {
        std::fclose(m_file);
    }
}

bool CSimTranscript::Open(const std::filesystem::path& file) {
    m_file = std::fopen(file.c_str(), "w");
    return m_file != nullptr;
}

void CSimTranscript::AddText(const std::string& text) {
    EndBinaryRun();
    SimTranscriptEntry e;
    e.seq = static_cast<int>(m_entries.size()) + 1;
    e.text = text;
    m_entries.push_back(e);
    WriteLine(e);
}

void CSimTranscript::AddBinary(std::uint64_t bytes) {
    if (!m_inBinaryRun) {
        SimTranscriptEntry e;
        e.seq = static_cast<int>(m_entries.size()) + 1;
        e.binary = true;
        m_entries.push_back(e);
        m_inBinaryRun = true;
    }
    m_entries.back().bytes += bytes;
}

void CSimTranscript::EndBinaryRun() {
    if (m_inBinaryRun) {
        m_inBinaryRun = false;
        WriteLine(m_entries.back());
    }
}

void CSimTranscript::WriteLine(const SimTranscriptEntry& e) {
    if (!m_file) {
        return;
    }
    if (e.binary) {
        std::fprintf(m_file, "{\"seq\":%d,\"type\":\"binary\",\"bytes\":%llu}\n", e.seq,
                     static_cast<unsigned long long>(e.bytes));
    } else {
        std::fprintf(m_file, "{\"seq\":%d,\"type\":\"text\",\"text\":%s}\n", e.seq,
                     JsonQuote(e.text).c_str());
    }
    std::fflush(m_file);
}

}  // namespace vorn
