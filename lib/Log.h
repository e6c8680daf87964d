#pragma once
// The program log "kelmora.log" in the "log" working folder. One line per call, atomic from
// any thread. Levels: 0 debug (discarded), 1 info, 2 warning, 3 error, 4 error that also
// becomes the last error text.
#include <string>

namespace vorn {

enum LogLevel { kLogDebug = 0, kLogInfo = 1, kLogWarn = 2, kLogError = 3, kLogErrorLast = 4 };

void LogWrite(const std::string& text, int level);
std::string LastErrorText();

}  // namespace vorn
