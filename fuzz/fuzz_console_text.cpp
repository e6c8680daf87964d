// Command output from the gateway's result file on its way to the console: the UTF-8 rule
// (decoded when it is UTF-8 by the gateway rule, kept as it is otherwise) and the escaping of
// control characters before the text reaches a terminal.
#include <QString>

#include <cstdint>
#include <string>

#include "app/cli/TerminalText.h"
#include "operations/CMainFrame.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

// Nothing that a terminal would take as a control: C0 other than LF and TAB, a CR that does
// not end a line, DEL, C1 in UTF-8.
bool TerminalSafe(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\r') {
            if (i + 1 >= s.size() || s[i + 1] != '\n') {
                return false;
            }
        } else if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            return false;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = vorn::ConsoleTextFromGateway(bytes);
    if (!vorn::IsGatewayUtf8(bytes)) {
        Check(text == bytes);
    }
    // Well-formed UTF-8 comes through unchanged.
    const QString decoded = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(size));
    if (decoded.toUtf8().toStdString() == bytes) {
        Check(text == bytes);
    }
    const std::string shown = vorn::cli::EscapeControls(text);
    Check(TerminalSafe(shown));
    // Text without controls is shown as it is.
    if (TerminalSafe(text) && text.find('\r') == std::string::npos) {
        Check(shown == text);
    }
    return 0;
}
