#include "app/cli/TerminalText.h"

namespace vorn::cli {
namespace {

void Hex(unsigned char c, std::string& out) {
    static const char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
}

}  // namespace

void CControlEscaper::Put(char ch, std::string& out) {
    const auto c = static_cast<unsigned char>(ch);
    if (m_holding) {
        m_holding = false;
        const auto held = static_cast<unsigned char>(m_held);
        if (held == '\r' && c == '\n') {
            out += "\r\n";
            return;
        }
        if (held == 0xC2 && c >= 0x80 && c <= 0x9F) {  // U+0080..U+009F
            Hex(held, out);
            Hex(c, out);
            return;
        }
        if (held == '\r') {
            Hex(held, out);
        } else {
            out += m_held;
        }
    }
    if (c == '\r' || c == 0xC2) {
        m_held = ch;
        m_holding = true;
    } else if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
        Hex(c, out);
    } else {
        out += ch;
    }
}

void CControlEscaper::Flush(std::string& out) {
    if (!m_holding) {
        return;
    }
    m_holding = false;
    if (m_held == '\r') {
        Hex('\r', out);
    } else {
        out += m_held;
    }
}

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    CControlEscaper escaper;
    for (char c : text) escaper.Put(c, out);
    escaper.Flush(out);
    return out;
}

CEscapingStreamBuf::~CEscapingStreamBuf() {
    std::string rest;
    m_escaper.Flush(rest);
    m_dest << rest;
    m_dest.flush();
}

CEscapingStreamBuf::int_type CEscapingStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize CEscapingStreamBuf::xsputn(const char* s, std::streamsize n) {
    std::string out;
    for (std::streamsize i = 0; i < n; ++i) m_escaper.Put(s[i], out);
    m_dest << out;
    return m_dest ? n : 0;
}

int CEscapingStreamBuf::sync() {
    m_dest.flush();
    return m_dest ? 0 : -1;
}

}  // namespace vorn::cli
