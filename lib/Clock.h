#pragma once
// The one place that tells the time: login lockout, the daily log rule, backup names and
// history lines read it here so tests can set it.
#include <chrono>
#include <ctime>

namespace vorn {

using SystemTime = std::chrono::system_clock::time_point;

SystemTime Now();
std::time_t NowTimeT();
// Local broken-down time of Now().
std::tm LocalNow();
// Tests: fix the clock (or advance it); a default-constructed time point returns to real time.
void SetClockForTests(SystemTime t);
void AdvanceClockForTests(std::chrono::milliseconds d);

}  // namespace vorn
