#include "app/gui/ConsoleLabels.h"

#include "app/gui/GuiText.h"

namespace vorn::gui {
namespace {

Trilingual Lookup(CL id) {
    switch (id) {
        case CL::DeviceMenu:
            return {"Device(&D)", "设备(&D)", "裝置(&D)"};
        case CL::ConnectDevice:
            return {"Connect Device(&C)...", "连接设备(&C)...", "連線裝置(&C)..."};
        case CL::Disconnect:
            return {"Disconnect(&D)", "断开连接(&D)", "中斷連線(&D)"};
        case CL::Search:
            return {"Search(&S)", "搜索设备(&S)", "搜尋裝置(&S)"};
        case CL::ModifyPassword:
            return {"Modify Password(&M)...", "修改密码(&M)...", "修改密碼(&M)..."};
        case CL::ConfigMenu:
            return {"Configuration(&O)", "配置(&O)", "組態(&O)"};
        case CL::BackupConfig:
            return {"Backup Config(&B)", "备份配置(&B)", "備份組態(&B)"};
        case CL::RestoreBackup:
            return {"Restore Backup(&R)", "恢复备份(&R)", "還原備份(&R)"};
        case CL::RestoreFactoryDefaults:
            return {"Restore Factory Defaults(&R)", "恢复出厂配置(&F)", "還原出廠組態(&F)"};
        case CL::UpdateLogsMenu:
            return {"Update Logs(&L)", "升级日志(&L)", "升級日誌(&L)"};
        case CL::DeviceUpdateLogs:
            return {"Device Update Logs(&U)", "设备升级日志(&U)", "裝置升級日誌(&U)"};
        case CL::LocalUpdateLogs:
            return {"Local Update Logs(&L)", "本地升级日志(&L)", "本機升級日誌(&L)"};
        case CL::DeleteLocalLogs:
            return {"Delete Local Logs(&D)", "删除本地日志(&D)", "刪除本機日誌(&D)"};
        case CL::CommandMenu:
            return {"Command(&C)", "命令(&C)", "命令(&C)"};
        case CL::ConsoleOutput:
            return {"Console output", "控制台输出", "主控台輸出"};
        case CL::ConnectTitle:
            return {"Connect Device", "连接设备", "連線裝置"};
        case CL::IpAddress:
            return {"IP Address:", "IP 地址：", "IP 位址："};
        case CL::Password:
            return {"Password:", "密码：", "密碼："};
        case CL::ModifyPasswordTitle:
            return {"Modify Password", "修改密码", "修改密碼"};
        case CL::NewPassword:
            return {"New Password:", "新密码：", "新密碼："};
        case CL::Confirm:
            return {"Confirm:", "确认密码：", "確認密碼："};
        case CL::CurrentDeviceTitle:
            return {"Current Device", "当前设备", "目前裝置"};
        case CL::CurrentDeviceWarning:
            return {
                "The firmware version of the device cannot be read. Choose the device's "
                "model and product series; a wrong choice leads to unexpected results.",
                "无法读取设备的固件版本。请选择设备的型号和产品系列；选择错误将导致意外结果。",
                "無法讀取裝置的韌體版本。請選擇裝置的型號和產品系列；選擇錯誤將導致意外結果。"};
        case CL::Model:
            return {"Model:", "型号：", "型號："};
        case CL::ProductSeries:
            return {"Product Series:", "产品系列：", "產品系列："};
    }
    return {"", "", ""};
}

}  // namespace

QString ConsoleLabel(CL id) {
    return InLanguage(Lookup(id));
}

}  // namespace vorn::gui
