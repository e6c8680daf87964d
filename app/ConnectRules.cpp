#include "app/ConnectRules.h"

#include "app/LoginErrorLog.h"
#include "app/RecentAddressList.h"
#include "lib/Clock.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"

namespace vorn {

ConnectCheck CheckConnect(std::string_view addressText, LoginErrorLog& log, std::time_t now) {
    ConnectCheck c;
    auto parsed = ParseAddress(addressText);
    if (!parsed) {
        c.refusal = 6773;
        c.message = LoadStr(6773);
        return c;
    }
    c.address = *parsed;
    c.attemptTime = now;
    if (log.IsLocked(c.address.Text(), now)) {
        c.refusal = 6797;
        c.message = FormatStr(6797, c.address.Text().c_str());
        return c;
    }
    c.allowed = true;
    return c;
}

ConnectEffect ApplyConnectResult(ConnectOutcome outcome, const ConnectCheck& check,
                                 const std::string& password, RememberMode remember,
                                 RecentAddressList& recent, LoginErrorLog& log) {
    ConnectEffect effect;
    if (!check.allowed) {
        return effect;
    }
    const std::string address = check.address.Text();
    switch (outcome) {
        case kWizardConnected:
        case kWizardDeviceChosen:
            if (remember != RememberMode::LeaveList) {
                recent.Add(address,
                           remember == RememberMode::AddressAndPassword ? password : std::string());
            }
            log.Update(address, LoginErrorLog::NoErrorTime(), 0);
            break;
        default:  // failed: nothing changes
            break;
        case kWizardLoginRefused:
            if (log.Exists(address)) {
                int c = log.Count(address);
                if (c > 1) {
                    effect.errorCount = c + 1;
                    effect.remaining = 4 - c;
                    effect.message = FormatStr(6798, c + 1, 4 - c);
                }
                log.Update(address, check.attemptTime, c < LoginErrorLog::kLockCount ? c + 1 : 1);
            } else {
                log.Add(address, check.attemptTime, 1);
            }
            break;
    }
    return effect;
}

namespace {

std::filesystem::path LoginErrorPath() {
    return WorkPath(LoginErrorLog::kFileName, LoginErrorLog::kFolder);
}

}  // namespace

ConnectCheck CheckConnectAllowed(std::string_view addressText) {
    LoginErrorLog log;
    log.Load(LoginErrorPath());
    return CheckConnect(addressText, log, NowTimeT());
}

std::string RecordLoginResult(const ConnectCheck& check, const std::string& password,
                              ConnectOutcome outcome, RememberMode remember) {
    LoginErrorLog log;
    log.Load(LoginErrorPath());
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    return ApplyConnectResult(outcome, check, password, remember, recent, log).message;
}

std::string RecordLoginResult(const ConnectCheck& check, const std::string& password,
                              ConnectOutcome outcome, bool remember) {
    return RecordLoginResult(check, password, outcome,
                             remember ? RememberMode::AddressAndPassword : RememberMode::LeaveList);
}

}  // namespace vorn
