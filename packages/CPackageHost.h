#pragma once
// What the package functions need from the session and the wizard. The main frame implements
// it; tests use a recording double.
#include <string>

namespace vorn {

class CPackageHost {
public:
    virtual ~CPackageHost() = default;

    // An operation owns the link (SessionState is not 0).
    virtual bool OperationInProgress() const = 0;
    // A combined update is running (member packages are being loaded by it).
    virtual bool CombinedUpdateRunning() const = 0;
    // The gateway's version text (first line, vendor name normalised) and its whole version
    // report; the layout flag that was derived from the version at login.
    virtual std::string GatewayVersion() const = 0;
    virtual std::string GatewayVersionReport() const = 0;
    virtual int GatewayLayoutFlag() const = 0;

    // The update-tips dialog of the load page; false when the person cancelled it.
    virtual bool ShowUpdateTipsDialog(const std::string& tips, const std::string& gatewayVersion,
                                      const std::string& packageVersion) = 0;
    // Result text for the load page: "SUCCEED:", "FAILED:..." or "FAILEDLOAD:...".
    virtual void SendToLoadPage(const std::string& text) = 0;
    // Timer 5 of the main window, 500 ms: the update starts when it expires.
    virtual void StartUpdateTimer() = 0;
    // Starts the single-package loader thread for a member package of a combined update.
    virtual void StartSinglePackageLoader(const std::string& path) = 0;
};

}  // namespace vorn
