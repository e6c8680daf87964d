#include "app/gui/CommandMenu.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>

#include <functional>
#include <vector>

#include "app/gui/CCommandConsoleDlg.h"
#include "app/gui/CExchangeNicsDlg.h"
#include "app/gui/CGuiOperator.h"
#include "app/gui/CModifyNicDlg.h"
#include "app/gui/CPingDlg.h"
#include "app/gui/CommandLabels.h"
#include "app/gui/GuiText.h"
#include "operations/CMainFrame.h"

namespace vorn::gui {
namespace {

// What an item needs besides a connected, idle gateway.
enum class Need { Idle, EtcLayout, NoCombinedUpdate };

bool Enabled(const CMainFrame& f, Need need) {
    switch (need) {
        case Need::EtcLayout:
            return f.NicCommandsEnabled();
        case Need::NoCombinedUpdate:
            return f.SupportCommandsEnabled() && !f.CombinedUpdateRunning();
        case Need::Idle:
            break;
    }
    return f.SupportCommandsEnabled();
}

// Keeps the items' enable states in step with the session while the menu lives.
class CCommandMenuStates : public QObject {
public:
    CCommandMenuStates(QMenu& menu, CMainFrame& frame) : QObject(&menu), m_frame(frame) {
        m_listener = m_frame.AddSessionListener([this] { Refresh(); });
    }
    ~CCommandMenuStates() override { m_frame.RemoveSessionListener(m_listener); }

    void Add(QAction* action, Need need) {
        m_items.push_back({action, need});
        action->setEnabled(Enabled(m_frame, need));
    }
    void Refresh() {
        for (const Item& i : m_items) {
            if (i.action) {
                i.action->setEnabled(Enabled(m_frame, i.need));
            }
        }
    }

private:
    struct Item {
        QPointer<QAction> action;
        Need need;
    };
    CMainFrame& m_frame;
    int m_listener = 0;
    std::vector<Item> m_items;
};

// A dialog opened without blocking; `onOk` runs after OK, and the dialog goes when it closes.
template <class Dialog>
void OpenDialog(CGuiOperator& op, Dialog* dlg, std::function<void(Dialog&)> onOk) {
    // Another window may have started a command while the dialog was open.
    QObject::connect(dlg, &QDialog::accepted, dlg, [&op, dlg, onOk] {
        op.CommandFrom(dlg->parentWidget());
        onOk(*dlg);
    });
    QObject::connect(dlg, &QDialog::finished, dlg, &QObject::deleteLater);
    dlg->open();
}

// A dialog's OK may come after the session changed. A busy or closed link goes on to the
// core, which refuses it with its message; a gateway that lacks the item's other needs (the
// "/etc" layout, no combined update) stops here.
bool StillAllowed(const CMainFrame& f, Need need) {
    const bool linkIdle = f.Connected && f.SessionState == 0;
    return !linkIdle || Enabled(f, need);
}

struct Context {
    CMainFrame& frame;
    CGuiOperator& op;
    QWidget* parent;
    CCommandMenuStates* states;
};

QAction* AddItem(Context& c, QMenu& menu, const QString& text, const char* name, Need need,
                 std::function<void()> run) {
    QAction* a = menu.addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    // What the command asks or reports opens over the console, not over the wizard.
    QObject::connect(a, &QAction::triggered, a, [c, run] {
        c.op.CommandFrom(c.parent);
        run();
    });
    c.states->Add(a, need);
    return a;
}

void OpenPing(Context c) {
    OpenDialog<CPingDlg>(c.op, new CPingDlg(c.parent),
                         [c](CPingDlg& d) { c.frame.PingGateway(S(d.TargetEdit()->text())); });
}

void OpenModifyNic(Context c) {
    OpenDialog<CModifyNicDlg>(c.op, new CModifyNicDlg(c.op, c.parent), [c](CModifyNicDlg& d) {
        if (StillAllowed(c.frame, Need::EtcLayout)) {
            c.frame.ModifyNicSettings(d.Settings());
        }
    });
}

void OpenExchangeNics(Context c) {
    OpenDialog<CExchangeNicsDlg>(c.op, new CExchangeNicsDlg(c.parent), [c](CExchangeNicsDlg& d) {
        if (StillAllowed(c.frame, Need::EtcLayout)) {
            c.frame.ExchangeNics(d.Nic1(), d.Nic2());
        }
    });
}

// Asks for the password (once per run of the program), then the command dialog.
void OpenCommandConsole(Context c) {
    if (!c.frame.CommandConsole()) {
        return;
    }
    OpenDialog<CCommandConsoleDlg>(c.op, new CCommandConsoleDlg(c.op, c.parent),
                                   [c](CCommandConsoleDlg& d) {
                                       if (!StillAllowed(c.frame, Need::NoCombinedUpdate)) {
                                           return;
                                       }
                                       switch (d.Chosen()) {
                                           case CCommandConsoleDlg::kPut:
                                               c.frame.ConsoleUpload(d.Text());
                                               break;
                                           case CCommandConsoleDlg::kGet:
                                               c.frame.ConsoleDownload(d.Text());
                                               break;
                                           case CCommandConsoleDlg::kExec:
                                               c.frame.RunConsoleCommand(d.Text(), true);
                                               break;
                                       }
                                   });
}

}  // namespace

void FillCommandMenu(QMenu& menu, CMainFrame& frame, CGuiOperator& op, QWidget* parent) {
    Context c{frame, op, parent, new CCommandMenuStates(menu, frame)};
    CMainFrame* f = &frame;

    AddItem(c, menu, CommandLabel(CML::Ping), "ping", Need::Idle, [c] { OpenPing(c); });
    AddItem(c, menu, CommandLabel(CML::RouteTable), "route", Need::Idle,
            [f] { f->ShowRouteTable(); });
    AddItem(c, menu, CommandLabel(CML::ArpTable), "arp", Need::Idle, [f] { f->ShowArpTable(); });
    AddItem(c, menu, CommandLabel(CML::ViewNetwork), "ifconfig", Need::Idle,
            [f] { f->ShowNetworkSettings(); });

    QMenu* nics = menu.addMenu(CommandLabel(CML::ViewNic));
    nics->menuAction()->setObjectName(QStringLiteral("nicView"));
    c.states->Add(nics->menuAction(), Need::EtcLayout);
    AddItem(c, *nics, CommandLabel(CML::AllNics), "nicView.All", Need::EtcLayout,
            [f] { f->ShowNicSettings("All"); });
    for (const std::string& nic : NicNames()) {
        if (IsNicName(nic, "eth")) {
            const std::string name = "nicView." + nic;
            AddItem(c, *nics, Q(nic), name.c_str(), Need::EtcLayout,
                    [f, nic] { f->ShowNicSettings(nic); });
        }
    }
    AddItem(c, menu, CommandLabel(CML::ModifyNic), "nicModify", Need::EtcLayout,
            [c] { OpenModifyNic(c); });
    AddItem(c, menu, CommandLabel(CML::ExchangeNics), "nicExchange", Need::EtcLayout,
            [c] { OpenExchangeNics(c); });
    menu.addSeparator();
    AddItem(c, menu, CommandLabel(CML::CommandConsole), "commandConsole", Need::NoCombinedUpdate,
            [c] { OpenCommandConsole(c); });
}

}  // namespace vorn::gui
