#include "platform/SocketErrors.h"

#include "platform/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace vorn {
namespace {

struct Pair {
    int err;
    int code;
};

// EWOULDBLOCK equals EAGAIN on Linux; EINPROGRESS is what a non-blocking connect reports
// where Winsock says "would block".
const Pair kMap[] = {
    {EAGAIN, 10035},       {EINPROGRESS, 10035}, {EINTR, 10004},           {EBADF, 10009},
    {EACCES, 10013},       {EFAULT, 10014},      {EINVAL, 10022},          {EMFILE, 10024},
    {EALREADY, 10037},     {ENOTSOCK, 10038},    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042}, {EPROTONOSUPPORT, 10043}, {EOPNOTSUPP, 10045},
    {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048},  {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},   {ECONNABORTED, 10053},    {EPIPE, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},     {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},    {ETIMEDOUT, 10060},   {ECONNREFUSED, 10061},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
};

}  // namespace

int SocketErrorFromErrno(int err) {
    if (err == 0) {
        return 0;
    }
    for (const Pair& p : kMap) {
        if (p.err == err) {
            return p.code;
        }
    }
    return 20000 + err;
}

int ErrnoFromSocketError(int code) {
    if (code > 20000) {
        return code - 20000;
    }
    for (const Pair& p : kMap) {
        if (p.code == code) {
            return p.err;
        }
    }
    return 0;
}

std::string SocketErrorText(int code) {
    switch (code) {
        case 10014:
            return "The lpSockAddrLen argument is incorrect.\n";
        case 10022:
            return "the socket is in an invalid state.\n";
        case 10038:
            return "The descriptor is a file, not a socket.\n";
        case 10039:
            return "A destination address is required.\n";
        case 10047:
            return "Addresses in the specified family cannot be used with this socket.\n";
        case 10048:
            return "The specified address is already in use.\n";
        case 10049:
            return "The specified address is not available from the local machine.\n";
        case 10050:
            return "The network subsysterm failed.\n";
        case 10051:
            return "The network cannot be reached from this host at this time.\n";
        case 10055:
            return "No buffer space is available. The socket cannot be connected.\n";
        case 10056:
            return "the socket has binded.\n";
        case 10057:
            return "The socket is not connected.\n";
        case 10060:
            return "The attempt to connect timed out without establishing a connection.\n";
        case 10061:
            return "The attempt to connect was forcefully rejected.\n";
        default:
            break;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "DEFAULT REASON. ERROR: %d\n", code);
    return buf;
}

std::string SocketSystemText(int code) {
    const int err = ErrnoFromSocketError(code);
    if (err == 0) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "error %d", code);
        return buf;
    }
    return SystemErrorText(err);
}

}  // namespace vorn
