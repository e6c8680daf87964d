#pragma once
// Text that came from a gateway or a package, made safe for the operator's terminal: control
// characters other than line feed, tab and a carriage return that ends a line (CR LF) are
// shown as \xNN instead of being sent raw, so they cannot move the cursor, clear the screen,
// retitle the window or reach the clipboard. C1 controls in their UTF-8 form are escaped too.
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace vorn::cli {

// Escapes byte by byte; holds back a CR or a lead byte until the next byte decides.
class CControlEscaper {
public:
    void Put(char c, std::string& out);
    // Emits what is held back (end of the text).
    void Flush(std::string& out);

private:
    char m_held = 0;
    bool m_holding = false;
};

std::string EscapeControls(std::string_view text);

// A stream buffer that escapes everything written through it into `dest`.
class CEscapingStreamBuf : public std::streambuf {
public:
    explicit CEscapingStreamBuf(std::ostream& dest) : m_dest(dest) {}
    ~CEscapingStreamBuf() override;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    std::ostream& m_dest;
    CControlEscaper m_escaper;
};

}  // namespace vorn::cli
