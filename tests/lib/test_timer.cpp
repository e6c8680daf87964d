#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <memory>
#include <vector>

#include "lib/CTimer.h"
#include "tests/common/WaitFor.h"

namespace vorn {
namespace {

using test::waitFor;

struct Received {
    unsigned msg;
    WParam id;
    LParam value;
    qint64 atMs;
    QThread* thread;
};

// A message target that records what arrives and when (relative to `clock`).
class Recorder : public CMessageTarget {
public:
    Recorder() { clock.start(); }
    QElapsedTimer clock;
    std::vector<Received> got;

protected:
    void onMessage(unsigned msg, WParam w, LParam l) override {
        got.push_back({msg, w, l, clock.elapsed(), QThread::currentThread()});
    }
};

// Lets the event loop run for `ms` so that late or duplicate messages would arrive.
void Drain(int ms) { waitFor([] { return false; }, ms); }

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(timer.start(), 1); }
    CTimer& timer = CTimer::Instance();
};

TEST_F(TimerTest, OneShotFiresOnceAfterItsDelay) {
    Recorder target;
    TimerHandle h = timer.AddTimer(&target, 42, 1000, 7);
    ASSERT_TRUE(h);
    EXPECT_STREQ(timer.ErrorText(), "TIMER_ERR_NoError");
    ASSERT_TRUE(waitFor([&] { return !target.got.empty(); }, 3000));
    Drain(100);
    ASSERT_EQ(target.got.size(), 1u);
    EXPECT_EQ(target.got[0].msg, WM_TIMER_EXPIRED);
    EXPECT_EQ(target.got[0].id, 42u);
    EXPECT_EQ(target.got[0].value, 7);
    EXPECT_GE(target.got[0].atMs, 1000);
    EXPECT_LE(target.got[0].atMs, 1200);  // 10 ms ticks plus slack for loaded machines
    bool known = true;
    timer.QueryTimer(h, &known, nullptr);
    EXPECT_FALSE(known);  // a one-shot is gone once it has posted
}

TEST_F(TimerTest, CancelBeforeExpiryPreventsTheMessage) {
    Recorder target;
    TimerHandle h = timer.AddTimer(&target, 1, 50);
    TimerHandle other = timer.AddTimer(&target, 2, 50);
    timer.DelTimer(h);
    timer.DelTimer(other, 99);  // wrong id: stays armed
    bool known = true;
    timer.QueryTimer(h, &known, nullptr);
    EXPECT_FALSE(known);
    Drain(200);
    ASSERT_EQ(target.got.size(), 1u);
    EXPECT_EQ(target.got[0].id, 2u);
}

TEST_F(TimerTest, CancelAfterExpiryAndStaleHandlesHaveNoEffect) {
    Recorder target;
    TimerHandle old = timer.AddTimer(&target, 5, 10);
    ASSERT_TRUE(waitFor([&] { return target.got.size() == 1; }));
    // New timers may reuse the freed slot; the old handle must not reach them.
    std::vector<TimerHandle> fresh;
    for (int i = 0; i < 4; ++i) fresh.push_back(timer.AddTimer(&target, 5, 60));
    for (const TimerHandle& h : fresh) EXPECT_NE(h, old);
    timer.DelTimer(old);
    timer.DelTimer(old, 5);
    timer.ReseatTimer(old);
    bool known = true, undelivered = true;
    timer.QueryTimer(old, &known, &undelivered);
    EXPECT_FALSE(known);
    EXPECT_FALSE(undelivered);
    timer.QueryTimer(TimerHandle{}, &known, nullptr);
    EXPECT_FALSE(known);
    timer.QueryTimer(TimerHandle{0xFFFFFFFF00001234ull}, &known, nullptr);
    EXPECT_FALSE(known);
    ASSERT_TRUE(waitFor([&] { return target.got.size() == 5; }));
}

TEST_F(TimerTest, TwoTimersWithOneIdBothFire) {
    Recorder target;
    timer.AddTimer(&target, 9, 30, 1);
    timer.AddTimer(&target, 9, 30, 2);
    ASSERT_TRUE(waitFor([&] { return target.got.size() == 2; }));
    Drain(50);
    ASSERT_EQ(target.got.size(), 2u);
    EXPECT_EQ(target.got[0].id, 9u);
    EXPECT_EQ(target.got[1].id, 9u);
    EXPECT_EQ(target.got[0].value + target.got[1].value, 3);
}

TEST_F(TimerTest, NullTargetNeverPostsAndReportsUndelivered) {
    TimerHandle h = timer.AddTimer(nullptr, 3, 20);
    ASSERT_TRUE(h);
    auto undelivered = [&] {
        bool known = false, flag = false;
        timer.QueryTimer(h, &known, &flag);
        return known && flag;
    };
    ASSERT_TRUE(waitFor(undelivered, 2000));
    timer.ReseatTimer(h);  // counts down again from its period
    EXPECT_FALSE(undelivered());
    ASSERT_TRUE(waitFor(undelivered, 2000));
    timer.DelTimer(h);
    bool known = true;
    timer.QueryTimer(h, &known, nullptr);
    EXPECT_FALSE(known);
}

TEST_F(TimerTest, PeriodicTimerRepeatsUntilCancelled) {
    Recorder target;
    TimerHandle h = timer.AddPeriodicTimer(&target, 4, 30, 11);
    ASSERT_TRUE(waitFor([&] { return target.got.size() >= 3; }));
    timer.DelTimer(h);
    Drain(30);  // a message already posted before the cancel may still arrive
    const size_t count = target.got.size();
    Drain(120);
    EXPECT_EQ(target.got.size(), count);
    for (const Received& r : target.got) {
        EXPECT_EQ(r.id, 4u);
        EXPECT_EQ(r.value, 11);
    }
}

TEST_F(TimerTest, StopFreesPendingTimersWithoutPosting) {
    Recorder target;
    TimerHandle h = timer.AddTimer(&target, 6, 40);
    TimerHandle p = timer.AddPeriodicTimer(&target, 7, 40);
    timer.stop();
    EXPECT_FALSE(timer.running());
    bool known = true;
    timer.QueryTimer(h, &known, nullptr);
    EXPECT_FALSE(known);
    timer.QueryTimer(p, &known, nullptr);
    EXPECT_FALSE(known);
    ASSERT_EQ(timer.start(), 1);
    EXPECT_EQ(timer.start(), 1);  // already running
    Drain(150);
    EXPECT_TRUE(target.got.empty());
}

TEST_F(TimerTest, DestroyedTargetLosesItsExpiry) {
    auto doomed = std::make_unique<Recorder>();
    Recorder witness;
    timer.AddTimer(doomed.get(), 1, 20);
    TimerHandle periodic = timer.AddPeriodicTimer(doomed.get(), 2, 10);
    timer.AddTimer(&witness, 3, 60);
    doomed.reset();
    ASSERT_TRUE(waitFor([&] { return !witness.got.empty(); }));
    // A periodic timer whose target is gone is dropped instead of firing into nothing forever.
    bool known = true;
    timer.QueryTimer(periodic, &known, nullptr);
    EXPECT_FALSE(known);
}

TEST_F(TimerTest, MessageArrivesOnTheTargetsThread) {
    QThread worker;
    worker.start();
    auto* target = new Recorder;
    target->moveToThread(&worker);
    timer.AddTimer(target, 8, 10);
    ASSERT_TRUE(waitFor([&] {
        bool done = false;
        QMetaObject::invokeMethod(target, [&] { done = !target->got.empty(); },
                                  Qt::BlockingQueuedConnection);
        return done;
    }));
    QThread* seen = nullptr;
    QMetaObject::invokeMethod(target, [&] { seen = target->got[0].thread; },
                              Qt::BlockingQueuedConnection);
    EXPECT_EQ(seen, &worker);
    QMetaObject::invokeMethod(target, [target] { delete target; }, Qt::BlockingQueuedConnection);
    worker.quit();
    worker.wait();
}

TEST_F(TimerTest, NegativeDelayIsRefused) {
    EXPECT_FALSE(timer.AddTimer(nullptr, 1, -1));
    EXPECT_STREQ(timer.ErrorText(), "TIMER_ERR_Common");
    EXPECT_TRUE(timer.AddTimer(nullptr, 1, 0));
    EXPECT_STREQ(timer.ErrorText(), "TIMER_ERR_NoError");
}

}  // namespace
}  // namespace vorn
