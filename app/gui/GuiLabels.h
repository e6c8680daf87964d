#pragma once
// Texts of the windows' own controls (labels, check boxes, buttons, captions) in the three
// languages; messages come from the numbered string table.
#include <QString>

namespace vorn::gui {

enum class L {
    IpAddress,
    Password,
    RememberPassword,
    Search,
    Hint,
    DeviceVersion,
    DeviceAddress,
    UpdateMethod,
    PackagePath,
    Browse,
    InstallDirect,
    InstallPreCheck,
    Progress,
    ProgressIdle,
    ConfirmStopTitle,
    ConfirmStopText,
    ConfirmStopCheck,
    ConfirmUpdateTitle,
    UpdateButton,
    FromVersion,
    ToVersion,
    UpdateTips,
    CheckStatus,
    Retry,
    OptionsTitle,
    UpdateServer,
    AutoSelect,
    Shenzhen,
    Shanghai,
    UseProxy,
    NeedAuth,
    KeepPackages,
    ProxyAddress,
    ProxyPort,
    UserName,
    ProxyPassword,
    View,
    Clear,
    SelectDeviceTitle,
    ColumnNo,
    ColumnAddress,
    Refresh,
    AboutTitle,
    AboutText,
    DetailsName,
    StateName,
    VersionText,
};

QString Label(L id);

}  // namespace vorn::gui
