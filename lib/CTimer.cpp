#include "lib/CTimer.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace vorn {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kTickInterval = std::chrono::milliseconds(10);
constexpr const char* kErrorTexts[] = {"TIMER_ERR_NoError", "TIMER_ERR_NoBuff", "TIMER_ERR_Common"};
enum { kNoError = 0, kNoBuff = 1, kCommon = 2 };

// One timer. Records live in a slot table; a slot's generation changes every time its record
// is freed, so a handle (index + generation) of a freed record never matches a reused slot.
struct Record {
    std::uint32_t generation = 1;
    bool used = false;
    bool cancelled = false;
    bool periodic = false;
    bool undelivered = false;
    bool parked = false;  // one-shot whose expiry found no target: kept for QueryTimer
    std::shared_ptr<CTargetGuard> target;  // null: no target
    SteadyClock::time_point deadline;
    SteadyClock::duration period{};
    std::uint32_t id = 0;
    std::uint32_t value = 0;
};

struct Expiry {
    std::shared_ptr<CTargetGuard> target;
    std::uint32_t id;
    std::uint32_t value;
};

}  // namespace

struct CTimer::Impl {
    std::mutex control;  // start/stop against each other
    std::mutex listLock; // records, live list, free list
    std::mutex runLock;  // held by the timer thread while it runs
    std::atomic<bool> isRunning{false};
    std::atomic<int> error{kNoError};
    std::thread thread;

    std::vector<Record> records;
    std::vector<std::uint32_t> live;  // indices of live records, oldest first
    std::vector<std::uint32_t> freeSlots;

    Record* find(TimerHandle h) {
        const std::uint64_t index = (h.value & 0xFFFFFFFFu);
        const auto generation = static_cast<std::uint32_t>(h.value >> 32);
        if (index == 0 || index > records.size()) {
            return nullptr;
        }
        Record& r = records[index - 1];
        return (r.used && r.generation == generation) ? &r : nullptr;
    }

    void release(std::uint32_t index) {
        Record& r = records[index];
        const std::uint32_t next = r.generation + 1 == 0 ? 1 : r.generation + 1;
        r = Record{};
        r.generation = next;
        freeSlots.push_back(index);
    }

    TimerHandle add(CMessageTarget* target, std::uint32_t id, int ms, std::uint32_t value,
                    bool periodic) {
        if (ms < 0) {
            error = kCommon;
            return {};
        }
        try {
            std::shared_ptr<CTargetGuard> guard = target ? target->guard() : nullptr;
            const SteadyClock::duration delay = std::chrono::milliseconds(ms);
            std::lock_guard<std::mutex> lock(listLock);
            live.reserve(live.size() + 1);
            std::uint32_t index;
            if (!freeSlots.empty()) {
                index = freeSlots.back();
                freeSlots.pop_back();
            } else {
                freeSlots.reserve(records.size() + 1);
                records.emplace_back();
                index = static_cast<std::uint32_t>(records.size() - 1);
            }
            Record& r = records[index];
            r.used = true;
            r.periodic = periodic;
            r.target = std::move(guard);
            r.period = delay;
            // The deadline is absolute, so a timer never fires before its delay has passed,
            // whatever part of the current tick interval was already over when it was added.
            r.deadline = SteadyClock::now() + delay;
            r.id = id;
            r.value = value;
            live.push_back(index);
            error = kNoError;
            return TimerHandle{static_cast<std::uint64_t>(r.generation) << 32 | (index + 1u)};
        } catch (const std::bad_alloc&) {
            error = kNoBuff;
            return {};
        }
    }

    // One pass over the list: frees cancelled records, collects expiries, re-arms periodic
    // ones. A long stall fires each overdue timer once, not once per missed period.
    void tick() {
        std::vector<Expiry> due;
        {
            std::lock_guard<std::mutex> lock(listLock);
            const SteadyClock::time_point now = SteadyClock::now();
            std::size_t keep = 0;
            for (std::size_t i = 0; i < live.size(); ++i) {
                const std::uint32_t index = live[i];
                Record& r = records[index];
                bool drop = false;
                if (r.cancelled || (r.target && !r.target->alive())) {
                    // A destroyed target can never receive anything again.
                    drop = true;
                } else if (!r.parked && r.deadline <= now) {
                    if (r.target) {
                        due.push_back(Expiry{r.target, r.id, r.value});
                    } else {
                        r.undelivered = true;
                    }
                    if (r.periodic) {
                        r.deadline = now + r.period;
                    } else if (r.target) {
                        drop = true;
                    } else {
                        r.parked = true;
                    }
                }
                if (drop) {
                    release(index);
                } else {
                    live[keep++] = index;
                }
            }
            live.resize(keep);
        }
        // Posting happens outside the list lock; a target destroyed meanwhile loses the message.
        for (const Expiry& e : due) {
            e.target->post(WM_TIMER_EXPIRED, e.id, e.value);
        }
    }

    void freeAll() {
        std::lock_guard<std::mutex> lock(listLock);
        for (std::uint32_t index : live) {
            release(index);
        }
        live.clear();
    }

    void threadProc() {
        std::lock_guard<std::mutex> run(runLock);
        while (isRunning.load()) {
            std::this_thread::sleep_for(kTickInterval);
            tick();
        }
        freeAll();
    }
};

CTimer& CTimer::Instance() {
    static CTimer instance;
    return instance;
}

CTimer::CTimer() : m_impl(std::make_unique<Impl>()) {}

CTimer::~CTimer() { stop(); }

int CTimer::start() {
    std::lock_guard<std::mutex> lock(m_impl->control);
    if (m_impl->isRunning.load()) {
        return 1;
    }
    m_impl->isRunning = true;
    try {
        m_impl->thread = std::thread([this] { m_impl->threadProc(); });
    } catch (const std::system_error&) {
        m_impl->isRunning = false;
        m_impl->error = kCommon;
        return 0;
    }
    // Expiries should not wait behind busy threads; raising the priority needs a privilege
    // that ordinary users lack, and the service works without it.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    pthread_setschedparam(m_impl->thread.native_handle(), SCHED_RR, &param);
    return 1;
}

void CTimer::stop() {
    std::lock_guard<std::mutex> lock(m_impl->control);
    m_impl->isRunning = false;
    if (m_impl->thread.joinable()) {
        // The thread holds the run lock until it has left its loop and freed every record.
        { std::lock_guard<std::mutex> run(m_impl->runLock); }
        m_impl->thread.join();
    }
    // Timers added while the service was stopped are dropped as well.
    m_impl->freeAll();
}

bool CTimer::running() const { return m_impl->isRunning.load(); }

TimerHandle CTimer::AddTimer(CMessageTarget* target, std::uint32_t id, int ms, std::uint32_t value) {
    return m_impl->add(target, id, ms, value, false);
}

TimerHandle CTimer::AddPeriodicTimer(CMessageTarget* target, std::uint32_t id, int ms,
                                     std::uint32_t value) {
    return m_impl->add(target, id, ms, value, true);
}

void CTimer::DelTimer(TimerHandle h) {
    std::lock_guard<std::mutex> lock(m_impl->listLock);
    if (Record* r = m_impl->find(h)) {
        r->cancelled = true;
    }
}

void CTimer::DelTimer(TimerHandle h, std::uint32_t id) {
    std::lock_guard<std::mutex> lock(m_impl->listLock);
    if (Record* r = m_impl->find(h); r && r->id == id) {
        r->cancelled = true;
    }
}

void CTimer::QueryTimer(TimerHandle h, bool* known, bool* undelivered) {
    std::lock_guard<std::mutex> lock(m_impl->listLock);
    const Record* r = m_impl->find(h);
    const bool alive = r && !r->cancelled;
    if (known) {
        *known = alive;
    }
    if (undelivered) {
        *undelivered = alive && r->undelivered;
    }
}

void CTimer::ReseatTimer(TimerHandle h) {
    std::lock_guard<std::mutex> lock(m_impl->listLock);
    if (Record* r = m_impl->find(h); r && !r->cancelled) {
        r->deadline = SteadyClock::now() + r->period;
        r->undelivered = false;
        r->parked = false;
    }
}

const char* CTimer::ErrorText() const { return kErrorTexts[m_impl->error.load()]; }

}  // namespace vorn
