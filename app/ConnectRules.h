#pragma once
// The rules around a connect attempt, shared by the connection page and the headless
// commands: which attempts are refused (invalid address 6773, locked address 6797) and how
// an outcome updates the recent-address list and the login-error log (6798 on repeated wrong
// passwords). The clock is passed in.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "app/ParseAddress.h"
#include "lib/WizardEvents.h"

namespace vorn {

class LoginErrorLog;
class RecentAddressList;

struct ConnectCheck {
    bool allowed = false;
    int refusal = 0;        // 0, 6773 (invalid address) or 6797 (locked)
    std::string message;    // the refusal text
    ParsedAddress address;  // valid when refusal != 6773
    std::time_t attemptTime = 0;
};

// The outcome of a connect attempt is the wizard notification it ends with
// (kWizardConnected, kWizardConnectFailed, kWizardLoginRefused, kWizardDeviceChosen).
using ConnectOutcome = WizardEvent;

// What a successful login does to the recent-address list.
enum class RememberMode {
    LeaveList,           // the list is not touched (headless commands without --remember)
    AddressOnly,         // stored with an empty password ("Remember password" unchecked)
    AddressAndPassword,  // stored with the password
};

struct ConnectEffect {
    // Set on the third and later wrong passwords in a row: string 6798 with the count and
    // the attempts left.
    std::string message;
    int errorCount = 0;
    int remaining = 0;
};

// Refuses an invalid or locked address; `now` becomes the attempt time.
ConnectCheck CheckConnect(std::string_view addressText, LoginErrorLog& log, std::time_t now);

// Applies the outcome of an attempt that CheckConnect allowed.
ConnectEffect ApplyConnectResult(ConnectOutcome outcome, const ConnectCheck& check,
                                 const std::string& password, RememberMode remember,
                                 RecentAddressList& recent, LoginErrorLog& log);

// Headless front end: the same rules on the files of the program folder ("loginerror" in
// "tmp", "updater.ini") and the clock of lib/Clock.h.
ConnectCheck CheckConnectAllowed(std::string_view addressText);
// The recent list changes only with `remember` (address and password stored). Returns the
// 6798 text, or "".
std::string RecordLoginResult(const ConnectCheck& check, const std::string& password,
                              ConnectOutcome outcome, bool remember);
std::string RecordLoginResult(const ConnectCheck& check, const std::string& password,
                              ConnectOutcome outcome, RememberMode remember);

}  // namespace vorn
