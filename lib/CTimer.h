#pragma once
// Process-wide timer service: "in N ms, tell target T about timer id I". A thread wakes every
// 10 ms, checks every timer and posts message 0x8001 (wParam = id, lParam = value) to the
// target when one expires. Handles of timers that are no longer alive are refused safely.
//
// Targets: a CMessageTarget receives the message on the thread that owns it, so a target
// living on a worker thread is that thread's timer target. The service keeps only a weak
// guard to the target: destroying a target while its timers are pending is safe, their
// expiries are simply lost.
#include <cstdint>
#include <memory>

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

    // 1 when running (already or newly started), 0 when the thread could not be started.
    int start();
    // Stops the thread and frees every pending timer without posting it; returns once the
    // thread has ended. Handles given out before are stale afterwards.
    void stop();
    bool running() const;

    // One-shot and periodic timers for a message target (the program uses only the one-shot
    // form). A null target never posts: its expiry sets the undelivered flag, and the timer
    // stays known (not counting down) until it is reseated or cancelled, so the owner can see
    // the flag. A negative delay is refused (no handle, error TIMER_ERR_Common).
    TimerHandle AddTimer(CMessageTarget* target, std::uint32_t id, int ms, std::uint32_t value = 0);
    TimerHandle AddPeriodicTimer(CMessageTarget* target, std::uint32_t id, int ms,
                                 std::uint32_t value = 0);

    // Cancels a live timer; it is freed at the next tick and never posts again.
    void DelTimer(TimerHandle h);
    void DelTimer(TimerHandle h, std::uint32_t id);  // cancels only when the id matches
    // known = the handle is alive and not cancelled; undelivered = an expiry found no target.
    void QueryTimer(TimerHandle h, bool* known, bool* undelivered);
    // Restarts a live timer's count-down from its period and clears the undelivered flag.
    void ReseatTimer(TimerHandle h);

    // "TIMER_ERR_NoError", "TIMER_ERR_NoBuff" or "TIMER_ERR_Common" for the last add.
    const char* ErrorText() const;

    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

private:
    CTimer();
    ~CTimer();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vorn
