#include "app/gui/GuiLabels.h"

#include "app/gui/GuiText.h"

namespace vorn::gui {
namespace {

Trilingual Lookup(L id) {
    switch (id) {
        case L::IpAddress:
            return {"IP &Address:", "IP 地址(&A):", "IP 位址(&A):"};
        case L::Password:
            return {"&Password:", "密码(&P):", "密碼(&P):"};
        case L::RememberPassword:
            return {"&Remember password", "记住密码(&R)", "記住密碼(&R)"};
        case L::Search:
            return {"&Search...", "搜索(&S)...", "搜尋(&S)..."};
        case L::Hint:
            return {"Tips:F10 to open Technical support tools ", "提示：按 F10 打开技术支持工具",
                    "提示：按 F10 開啟技術支援工具"};
        case L::DeviceVersion:
            return {"Firmware version:", "固件版本：", "韌體版本："};
        case L::DeviceAddress:
            return {"IP address:", "IP 地址：", "IP 位址："};
        case L::UpdateMethod:
            return {"Update Method", "升级方式", "升級方式"};
        case L::PackagePath:
            return {"Pac&kage:", "升级包(&K):", "升級包(&K):"};
        case L::Browse:
            return {"&Browse...", "浏览(&B)...", "瀏覽(&B)..."};
        case L::InstallDirect:
            // Not "&d": the load page's "&Disconnect" has it.
            return {"&Install upgrade package directly", "直接安装升级包(&I)",
                    "直接安裝升級包(&I)"};
        case L::InstallPreCheck:
            return {"Install after &pre-upgrade check", "升级前检查后安装(&P)",
                    "升級前檢查後安裝(&P)"};
        case L::Progress:
            return {"%1 of %2 sent, %3/s, %4 left", "已发送 %1 / %2，%3/秒，剩余 %4",
                    "已傳送 %1 / %2，%3/秒，剩餘 %4"};
        case L::ProgressIdle:
            return {"Transfer", "传输", "傳輸"};
        case L::ConfirmStopTitle:
            return {"Confirm Stop?", "确认停止？", "確認停止？"};
        case L::ConfirmStopText:
            return {
                "Stopping updating will bring unexpected errors to device. Are you sure to "
                "stop updating?",
                "停止升级可能给设备带来意外错误。确定要停止升级吗？",
                "停止升級可能給裝置帶來意外錯誤。確定要停止升級嗎？"};
        case L::ConfirmStopCheck:
            return {"&Yes, I want to stop", "是的，我要停止(&Y)", "是的，我要停止(&Y)"};
        case L::ConfirmUpdateTitle:
            return {"Confirm Update", "确认升级", "確認升級"};
        case L::UpdateButton:
            return {"&Update", "升级(&U)", "升級(&U)"};
        case L::FromVersion:
            return {"From Version:", "当前版本：", "目前版本："};
        case L::ToVersion:
            return {"To Version:", "目标版本：", "目標版本："};
        case L::UpdateTips:
            return {"Update Tips:", "升级提示：", "升級提示："};
        case L::CheckStatus:
            return {"Check Status:", "检查状态：", "檢查狀態："};
        case L::Retry:
            return {"&retry", "重试(&R)", "重試(&R)"};
        case L::OptionsTitle:
            return {"Options", "选项", "選項"};
        case L::UpdateServer:
            return {"Update &server:", "升级服务器(&S):", "升級伺服器(&S):"};
        case L::AutoSelect:
            return {"Auto-Select", "自动选择", "自動選擇"};
        case L::Shenzhen:
            return {"Shenzhen", "深圳", "深圳"};
        case L::Shanghai:
            return {"Shanghai", "上海", "上海"};
        case L::UseProxy:
            return {"Get updates using the &HTTP proxy server below",
                    "通过下面的 HTTP 代理服务器获取升级(&H)",
                    "透過下面的 HTTP 代理伺服器取得升級(&H)"};
        case L::NeedAuth:
            return {"Require &authentication", "需要身份验证(&A)", "需要身分驗證(&A)"};
        case L::KeepPackages:
            return {"Preserve &downloaded package(s) for future use", "保留已下载的升级包(&D)",
                    "保留已下載的升級包(&D)"};
        case L::ProxyAddress:
            return {"Add&ress:", "地址(&R):", "位址(&R):"};
        case L::ProxyPort:
            return {"P&ort:", "端口(&O):", "連接埠(&O):"};
        case L::UserName:
            return {"User &name:", "用户名(&N):", "使用者名稱(&N):"};
        case L::ProxyPassword:
            return {"Pass&word:", "密码(&W):", "密碼(&W):"};
        case L::View:
            return {"&View", "查看(&V)", "檢視(&V)"};
        case L::Clear:
            return {"C&lear", "清除(&L)", "清除(&L)"};
        case L::SelectDeviceTitle:
            return {"Select Device", "选择设备", "選擇裝置"};
        case L::ColumnNo:
            return {"No.", "序号", "序號"};
        case L::ColumnAddress:
            return {"IP Address", "IP 地址", "IP 位址"};
        case L::Refresh:
            return {"&Refresh", "刷新(&R)", "重新整理(&R)"};
        case L::AboutTitle:
            return {"About", "关于", "關於"};
        case L::AboutText:
            return {"Updates the firmware of gateways over the local network.",
                    "通过局域网升级网关固件。", "透過區域網路升級閘道器韌體。"};
        case L::DetailsName:
            return {"Update details", "升级详情", "升級詳情"};
        case L::StateName:
            return {"Update state", "升级状态", "升級狀態"};
        case L::VersionText:
            return {"Version %1", "版本 %1", "版本 %1"};
    }
    return {"", "", ""};
}

}  // namespace

QString Label(L id) {
    return InLanguage(Lookup(id));
}

}  // namespace vorn::gui
