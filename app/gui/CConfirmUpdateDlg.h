#pragma once
// "Confirm Update": the gateway's and the package's versions and the update tips; in
// pre-check mode the check's status line, "&Update" held back until the check finished and
// "retry" after a failed check. The check's state is CUpdateEvents'.
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vorn {
class CUpdateEvents;
}

namespace vorn::gui {

class CConfirmUpdateDlg : public QDialog {
    Q_OBJECT
public:
    CConfirmUpdateDlg(const CUpdateEvents& events, const QString& tips, const QString& from,
                      const QString& to, bool preCheck, QWidget* parent);

    void SetCheckStatus(const QString& text);
    void RefreshCheckButtons();

    QPushButton* UpdateButton() { return m_update; }
    QPushButton* CancelButton() { return m_cancel; }
    QPushButton* RetryButton() { return m_retry; }
    QLabel* StatusLabel() { return m_status; }
    QPlainTextEdit* TipsBox() { return m_tips; }

signals:
    void RetryRequested();

private:
    void OnRetry();

    const CUpdateEvents& m_events;
    bool m_preCheck;
    QPlainTextEdit* m_tips = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_statusLabel = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_retry = nullptr;
};

}  // namespace vorn::gui
