#pragma once
// Codes of Operator::NotifyWizard: what happened to the connection. The text that goes with
// each code is noted beside it.
namespace vorn {

enum WizardEvent : int {
    kWizardConnected = 0,      // logged in; text = the gateway's version
    kWizardConnectFailed = 1,  // the connect or the login failed; text = the reason
    kWizardLoginRefused = 2,   // wrong password; text = the refusal
    kWizardDeviceChosen = 3,   // logged in after the "Current Device" choice; text empty
    kWizardReconnected = 5,    // an automatic reconnect logged in; text = "LOGIN:" + version
    kWizardDisconnected = 6,   // the link closed; text empty
};

}  // namespace vorn
