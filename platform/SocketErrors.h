#pragma once
// Socket error numbers in the Winsock numbering that the program's texts and checks use
// (10035 would block, 10053 aborted, 10054 reset, 10060 timed out, 10061 refused, ...).
#include <string>

namespace vorn {

enum : int {
    kSockWouldBlock = 10035,
    kSockAborted = 10053,
    kSockReset = 10054,
    kSockNotConnected = 10057,
    kSockTimedOut = 10060,
    kSockRefused = 10061,
};

// Winsock number for a POSIX errno value. Values without a Winsock twin become 20000 + errno,
// so they stay distinct and SocketErrorText falls to its default line.
int SocketErrorFromErrno(int err);
// The errno value behind a Winsock number (0 when there is none).
int ErrnoFromSocketError(int code);
// The fixed English texts used in socket event logging ("DEFAULT REASON. ERROR: %d\n" for
// numbers without a text of their own).
std::string SocketErrorText(int code);
// The operating system's message for the code, in the user's language where the C library
// has it (used in the session's own messages, "Socket error :" and the like).
std::string SocketSystemText(int code);

}  // namespace vorn
