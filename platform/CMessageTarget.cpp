#include "platform/CMessageTarget.h"

#include <QCoreApplication>
#include <QEvent>

namespace vorn {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct MessageEvent : QEvent {
    MessageEvent(unsigned m, WParam w, LParam l) : QEvent(kMessageEvent), msg(m), wParam(w), lParam(l) {}
    unsigned msg;
    WParam wParam;
    LParam lParam;
};

}  // namespace

bool CTargetGuard::post(unsigned msg, WParam wParam, LParam lParam) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_target && m_target->post(msg, wParam, lParam);
}

bool CTargetGuard::alive() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_target != nullptr;
}

void CTargetGuard::detach() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_target = nullptr;
}

CMessageTarget::CMessageTarget(QObject* parent)
    : QObject(parent), m_guard(std::make_shared<CTargetGuard>(this)) {}

CMessageTarget::~CMessageTarget() {
    // After detach() no other thread can post here any more; then drop what is queued.
    m_guard->detach();
    QCoreApplication::removePostedEvents(this, kMessageEvent);
}

bool CMessageTarget::post(unsigned msg, WParam wParam, LParam lParam) {
    // Posted events to one receiver at one priority are delivered in posting order.
    QCoreApplication::postEvent(this, new MessageEvent(msg, wParam, lParam));
    return true;
}

void CMessageTarget::onMessage(unsigned msg, WParam wParam, LParam lParam) {
    if (m_handler) {
        m_handler(msg, wParam, lParam);
    }
}

bool CMessageTarget::event(QEvent* e) {
    if (e->type() == kMessageEvent) {
        auto* m = static_cast<MessageEvent*>(e);
        onMessage(m->msg, m->wParam, m->lParam);
        return true;
    }
    return QObject::event(e);
}

}  // namespace vorn
