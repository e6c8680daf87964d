#pragma once
// Codes of Operator::NotifyCheckPage: the pre-upgrade check's events. The return value is
// not used (-1).
namespace vorn {

enum CheckPageEvent : int {
    kCheckFatal = 0,    // the check cannot run; text in red
    kCheckStatus = 8,   // the check's status line
    kCheckResult = 13,  // "SUCCEED:" or "FAILED:" + reason (lib/ResultTokens.h)
};

}  // namespace vorn
