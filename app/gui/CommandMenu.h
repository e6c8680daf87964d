#pragma once
// The console's "Command" menu: the diagnostic commands of the gateway (ping, route and ARP
// tables, network and NIC settings, NIC changes and exchange) and the protected command
// console. Every item is enabled only while the gateway is connected and idle, the NIC items
// only with the "/etc" script layout; the states follow the session's change notifications.
// Dialogs open without blocking (open()), over `parent`; their questions and file choices go
// through the Operator. `frame` must outlive `menu`.
class QMenu;
class QWidget;

namespace vorn {
class CMainFrame;
}

namespace vorn::gui {

class CGuiOperator;

// Object names of the items, for tests and accessibility tools: "ping", "route", "arp",
// "ifconfig", "nicView" (the submenu) with "nicView.All", "nicView.eth0" ... "nicView.eth20",
// "nicModify", "nicExchange", "commandConsole".
void FillCommandMenu(QMenu& menu, CMainFrame& frame, CGuiOperator& op, QWidget* parent);

}  // namespace vorn::gui
