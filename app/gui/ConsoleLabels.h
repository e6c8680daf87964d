#pragma once
// Texts of the technical support console's own menus and dialogs in the three languages;
// messages come from the numbered string table.
#include <QString>

namespace vorn::gui {

enum class CL {
    DeviceMenu,
    ConnectDevice,
    Disconnect,
    Search,
    ModifyPassword,
    ConfigMenu,
    BackupConfig,
    RestoreBackup,
    RestoreFactoryDefaults,
    UpdateLogsMenu,
    DeviceUpdateLogs,
    LocalUpdateLogs,
    DeleteLocalLogs,
    CommandMenu,
    ConsoleOutput,
    ConnectTitle,
    IpAddress,
    Password,
    ModifyPasswordTitle,
    NewPassword,
    Confirm,
    CurrentDeviceTitle,
    CurrentDeviceWarning,
    Model,
    ProductSeries,
};

QString ConsoleLabel(CL id);

}  // namespace vorn::gui
