#pragma once
// One datagram sent synchronously from a given local address and port, on a socket that
// exists only for this send (broadcast and address reuse on). The search through every
// local interface uses one of these per interface address: bound to that address, a
// broadcast leaves through that address's interface only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

enum class DatagramStep { Done, Socket, Broadcast, ReuseAddress, Bind, Send };

struct DatagramSendResult {
    DatagramStep failedStep = DatagramStep::Done;  // Done = sent
    int error = 0;                                 // Winsock numbering
    // Datagrams that reached this socket before it closed. It shares its port with another
    // socket, and a reply addressed to this exact address prefers it while it is open.
    std::vector<std::string> received;
    bool ok() const { return failedStep == DatagramStep::Done; }
};

DatagramSendResult SendDatagramFrom(const std::string& localAddress, std::uint16_t localPort,
                                    const void* data, std::size_t length,
                                    const std::string& toAddress, std::uint16_t toPort);

}  // namespace vorn
