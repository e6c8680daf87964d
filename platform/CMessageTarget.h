#pragma once
// A receiver of posted messages, the replacement for a window's message queue.
// post() may be called from any thread; onMessage() runs on the thread that owns the
// object (the thread it was created on), one message at a time, in posting order.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vorn {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;

class CMessageTarget;

// A weak, thread-safe way to post to a target that its owner may destroy at any time
// (timers and worker threads keep one of these instead of a raw pointer).
class CTargetGuard {
public:
    explicit CTargetGuard(CMessageTarget* target) : m_target(target) {}
    // Posts when the target still exists; false once it has been destroyed.
    bool post(unsigned msg, WParam wParam = 0, LParam lParam = 0);
    bool alive();

private:
    friend class CMessageTarget;
    void detach();

    std::mutex m_mutex;
    CMessageTarget* m_target;
};

class CMessageTarget : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(unsigned msg, WParam wParam, LParam lParam)>;

    explicit CMessageTarget(QObject* parent = nullptr);
    ~CMessageTarget() override;

    // Thread-safe. Returns false when the target is being destroyed.
    bool post(unsigned msg, WParam wParam = 0, LParam lParam = 0);

    // Delivers a message at once, on the calling thread, which must be the owner's thread
    // (the counterpart of sending rather than posting a window message).
    void send(unsigned msg, WParam wParam = 0, LParam lParam = 0) { onMessage(msg, wParam, lParam); }

    // The guard other threads keep to post here; it stops posting once this object is gone.
    std::shared_ptr<CTargetGuard> guard() const { return m_guard; }

    // Alternative to subclassing: a handler called for every message.
    void setHandler(Handler handler) { m_handler = std::move(handler); }

protected:
    virtual void onMessage(unsigned msg, WParam wParam, LParam lParam);
    bool event(QEvent* e) override;

private:
    Handler m_handler;
    std::shared_ptr<CTargetGuard> m_guard;
};

}  // namespace vorn
