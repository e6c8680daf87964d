#pragma once
// The second page: the gateway's version and address, the package path with "&Browse...",
// and the choice between a direct install and one after the pre-upgrade check. Next checks
// the path (app/LoadPageRules) and asks the wizard to start the update.
#include <QWidget>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vorn::gui {

class CMainSheet;

class CPageLoad : public QWidget {
public:
    explicit CPageLoad(CMainSheet& sheet);

    void SetGateway(const QString& address, const QString& version);
    void Refresh();
    void SetControlsEnabled(bool on);
    void OnBrowse();
    // The wizard's Next.
    void NextAction();
    bool PreCheck() const;

    QLineEdit* PathEdit() { return m_path; }
    QLineEdit* VersionEdit() { return m_version; }
    QPushButton* BrowseButton() { return m_browse; }
    QRadioButton* DirectRadio() { return m_direct; }
    QRadioButton* PreCheckRadio() { return m_preCheck; }

private:
    CMainSheet& m_sheet;
    QLineEdit* m_version = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_path = nullptr;
    QPushButton* m_browse = nullptr;
    QRadioButton* m_direct = nullptr;
    QRadioButton* m_preCheck = nullptr;
};

}  // namespace vorn::gui
