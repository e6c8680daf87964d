#include "app/gui/CommandLabels.h"

#include "app/gui/GuiText.h"

namespace vorn::gui {
namespace {

Trilingual Lookup(CML id) {
    switch (id) {
        case CML::Ping:
            return {"Ping(&P)...", "Ping(&P)...", "Ping(&P)..."};
        case CML::RouteTable:
            return {"Route Table(&R)", "路由表(&R)", "路由表(&R)"};
        case CML::ArpTable:
            return {"ARP Table(&A)", "ARP 表(&A)", "ARP 表(&A)"};
        case CML::ViewNetwork:
            return {"View Network Settings(&V)", "查看网络设置(&V)", "檢視網路設定(&V)"};
        case CML::ViewNic:
            return {"View NIC Settings(&N)", "查看网卡设置(&N)", "檢視網路卡設定(&N)"};
        case CML::AllNics:
            return {"All", "全部", "全部"};
        case CML::ModifyNic:
            return {"Modify NIC Settings(&M)", "修改网卡设置(&M)", "修改網路卡設定(&M)"};
        case CML::ExchangeNics:
            return {"Exchange NICs(&E)", "交换网卡(&E)", "交換網路卡(&E)"};
        case CML::CommandConsole:
            return {"Command Console(&O)...", "命令控制台(&O)...", "命令主控台(&O)..."};
        case CML::PingTitle:
            return {"Ping...", "Ping...", "Ping..."};
        case CML::PingTarget:
            return {"&Ping ", "Ping(&P) ", "Ping(&P) "};
        case CML::ModifyNicTitle:
            return {"Modify NIC Settings", "修改网卡设置", "修改網路卡設定"};
        case CML::Nic:
            return {"&NIC:", "网卡(&N):", "網路卡(&N):"};
        case CML::Speed:
            return {"&Speed:", "速率(&S):", "速率(&S):"};
        case CML::Mtu:
            return {"&MTU", "MTU(&M)", "MTU(&M)"};
        case CML::MtuHint:
            return {"(700-1500)", "(700-1500)", "(700-1500)"};
        case CML::AutoNegotiation:
            return {"Auto-negotiation", "自动协商", "自動協商"};
        case CML::ExchangeTitle:
            return {"Exchange NICs", "交换网卡", "交換網路卡"};
        case CML::Nic1:
            return {"NIC &1: ", "网卡 1(&1): ", "網路卡 1(&1): "};
        case CML::Nic2:
            return {"NIC &2: ", "网卡 2(&2): ", "網路卡 2(&2): "};
        case CML::ConsoleTitle:
            return {"Command Console", "命令控制台", "命令主控台"};
        case CML::ConsoleAction:
            return {"&Command:", "命令(&C):", "命令(&C):"};
        case CML::ConsoleText:
            return {"&Parameter:", "参数(&P):", "參數(&P):"};
        case CML::HintPut:
            return {"Uploads a local file to this path on the device.",
                    "将本地文件上传到设备上的此路径。", "將本機檔案上傳到裝置上的此路徑。"};
        case CML::HintGet:
            return {"Downloads the file at this path on the device.", "下载设备上此路径的文件。",
                    "下載裝置上此路徑的檔案。"};
        case CML::HintExec:
            return {"Runs this command line on the device.", "在设备上运行此命令行。",
                    "在裝置上執行此命令列。"};
    }
    return {"", "", ""};
}

}  // namespace

QString CommandLabel(CML id) {
    return InLanguage(Lookup(id));
}

}  // namespace vorn::gui
