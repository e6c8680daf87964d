#pragma once
// The third page: the state line, the coloured details box (plain text only, capped) and,
// during a transfer, a progress bar with transferred size, rate and time left.
#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>

#include "lib/TransferRate.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace vorn::gui {

class CMainSheet;

class CPageUpdate : public QWidget {
public:
    explicit CPageUpdate(CMainSheet& sheet);

    void SetState(const QString& text);
    // Appends `text` in `colour` (0x00BBGGRR) and remembers the end for ReplaceLastDetail.
    void AppendDetail(const QString& text, std::uint32_t colour);
    // Replaces everything after the remembered position.
    void ReplaceLastDetail(const QString& text, std::uint32_t colour);
    // A transfer percentage ("42%"): rewritten in place, and the progress bar with `sent` of
    // `size` file bytes, the rate and the time left.
    void ShowProgress(const QString& text, std::uint64_t sent, std::uint64_t size);
    void Clear();

    QString StateText() const;
    QString DetailsText() const;
    QProgressBar* ProgressBar() { return m_bar; }
    QLabel* ProgressLabel() { return m_progressText; }

private:
    QLabel* m_state = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_progressText = nullptr;
    int m_mark = 0;
    bool m_inProgress = false;
    CTransferRate m_rate;
    QElapsedTimer m_lastDraw;
};

}  // namespace vorn::gui
