#pragma once
// Process-wide timer service: "in N ms, tell target T about timer id I". A thread wakes every
// 10 ms, counts down every timer and posts message 0x8001 (wParam = id, lParam = value) to the
// target when one expires. Handles of timers that are no longer alive are refused safely.
#include <cstdint>

#include "platform/CMessageTarget.h"

namespace vorn {

inline constexpr unsigned WM_TIMER_EXPIRED = 0x8001;

// Opaque handle: a slot index plus a generation, so a stale handle never reaches a reused slot.
struct TimerHandle {
    std::uint64_t value = 0;
    explicit operator bool() const { return value != 0; }
    bool operator==(const TimerHandle&) const = default;
};

class CTimer {
public:
    static CTimer& Instance();

    // 1 when running (already or newly started).
    int start();
    // Stops the thread and frees every pending timer without posting it.
    void stop();
    bool running() const;

    // One-shot and periodic timers for a message target (the program uses only the window
    // one-shot form; a null target never posts and marks the timer undelivered).
    TimerHandle AddTimer(CMessageTarget* target, std::uint32_t id, int ms, std::uint32_t value = 0);
    TimerHandle AddPeriodicTimer(CMessageTarget* target, std::uint32_t id, int ms,
                                 std::uint32_t value = 0);

    void DelTimer(TimerHandle h);
    void DelTimer(TimerHandle h, std::uint32_t id);  // cancels only when the id matches
    // known = the handle is alive; undelivered = an expiry found no target.
    void QueryTimer(TimerHandle h, bool* known, bool* undelivered);
    void ReseatTimer(TimerHandle h);

    const char* ErrorText() const;

private:
    CTimer();
    ~CTimer();
    struct Impl;
    Impl* m_impl;
};

}  // namespace vorn
