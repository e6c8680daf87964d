#pragma once
// State of the one client connection the simulator serves (internal to the simulator).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "link/LinkFrame.h"
#include "link/circle_buffer.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn {

struct CGatewaySim::Connection {
    explicit Connection(int socketFd) : fd(socketFd) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd;
    std::uint8_t storage[16384];
    circle_buffer ring{storage, sizeof storage};
    FrameScratch scratch;
    bool loggedIn = false;
    bool reboot = false;                // close after the reply, then refuse for a while
    std::uint64_t receivedBinary = 0;   // all binary bytes of this connection
    std::chrono::steady_clock::time_point firstBinary;  // when the first of them arrived

    // The upload in progress: data goes to a hidden temporary file beside the target.
    std::FILE* uploadFile = nullptr;
    std::filesystem::path uploadTarget;
    std::filesystem::path uploadTemp;
    std::size_t uploadIndex = 0;        // entry in the simulator's upload list
};

}  // namespace vorn
