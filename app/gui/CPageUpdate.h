#pragma once
// The third page: the state line, the coloured details box (plain text only, capped) and,
// during a transfer, a progress bar with transferred size, rate and time left.
#include <QElapsedTimer>
#include <QTimer>
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
    // A transfer percentage ("42%"): rewritten in place in blue, and the progress bar with
    // `sent` of `size` file bytes, the rate and the time left. The next detail line ends the
    // transfer: bar and figures then show where it ended, with its average rate.
    void ShowProgress(const QString& text, std::uint64_t sent, std::uint64_t size);
    // The bytes a running transfer has sent by now (the last percentage may be older).
    void SetSent(std::uint64_t sent);
    void Clear();

    QString StateText() const;
    QString DetailsText() const;
    // The colour (0x00BBGGRR) of the details' character at `position`.
    std::uint32_t DetailColourAt(int position) const;
    QProgressBar* ProgressBar() { return m_bar; }
    QLabel* ProgressLabel() { return m_progressText; }

private:
    // Bar and figures from the last percentage.
    void DrawProgress();
    // The transfer ended (a detail line follows it): its last figures are drawn.
    void EndProgress();

    QLabel* m_state = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_progressText = nullptr;
    int m_mark = 0;
    bool m_inProgress = false;
    CTransferRate m_rate;
    QElapsedTimer m_lastDraw;
    QTimer m_drawLater;  // a percentage that came too soon after a redraw is drawn by this
    int m_percent = 0;
    QString m_percentText;
    std::uint64_t m_sent = 0;
    std::uint64_t m_size = 0;
};

}  // namespace vorn::gui
