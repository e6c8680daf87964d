#pragma once
// Rate and time left of a transfer, as the update page and the command line show them: the
// bytes sent since the transfer began, over the time since then.
#include <QElapsedTimer>

#include <cstdint>
#include <string>

namespace vorn {

class CTransferRate {
public:
    // A transfer begins with `sent` bytes already out (a resumed measure starts from there).
    void Start(std::uint64_t sent = 0);
    bool Started() const { return m_clock.isValid(); }
    void Stop() { m_clock.invalidate(); }
    // Bytes per second so far; 0 before anything was measured.
    double BytesPerSecond(std::uint64_t sent) const;
    // Seconds the rest of `size` takes at that rate, rounded; -1 while the rate is unknown.
    int SecondsLeft(std::uint64_t sent, std::uint64_t size) const;

private:
    QElapsedTimer m_clock;
    std::uint64_t m_start = 0;
};

// "1.50 MiB of 20.00 MiB sent, 3.20 MiB/s, 6 s left" (string 9400; sizes in the C locale).
std::string TransferProgressText(std::uint64_t sent, std::uint64_t size, const CTransferRate& rate);

}  // namespace vorn
