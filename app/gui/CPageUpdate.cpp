#include "app/gui/CPageUpdate.h"

#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

#include "app/gui/CMainSheet.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"
#include "lib/Operator.h"

namespace vorn::gui {
namespace {

constexpr int kMaxDetailBlocks = 5000;

QTextCharFormat Format(std::uint32_t colour) {
    QTextCharFormat f;
    f.setForeground(ColourOf(colour));
    return f;
}

}  // namespace

CPageUpdate::CPageUpdate(CMainSheet&) {
    m_state = new QLabel(this);
    m_state->setTextFormat(Qt::PlainText);
    m_state->setWordWrap(true);
    m_state->setAccessibleName(Label(L::StateName));
    m_details = new QPlainTextEdit(this);
    m_details->setReadOnly(true);
    m_details->setMaximumBlockCount(kMaxDetailBlocks);
    m_details->setAccessibleName(Label(L::DetailsName));
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setAccessibleName(Label(L::ProgressIdle));
    m_progressText = new QLabel(this);
    m_progressText->setTextFormat(Qt::PlainText);
    m_drawLater.setSingleShot(true);
    connect(&m_drawLater, &QTimer::timeout, this, &CPageUpdate::DrawProgress);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_state);
    layout->addWidget(m_details, 1);
    layout->addWidget(m_bar);
    layout->addWidget(m_progressText);
    Clear();
}

void CPageUpdate::SetState(const QString& text) {
    m_state->setText(text.trimmed());
    m_state->setAccessibleDescription(text.trimmed());
}

void CPageUpdate::AppendDetail(const QString& text, std::uint32_t colour) {
    EndProgress();
    QTextCursor c(m_details->document());
    c.movePosition(QTextCursor::End);
    c.insertText(text, Format(colour));
    m_mark = c.position();
    m_details->moveCursor(QTextCursor::End);
    m_details->ensureCursorVisible();
}

void CPageUpdate::ReplaceLastDetail(const QString& text, std::uint32_t colour) {
    QTextCursor c(m_details->document());
    c.movePosition(QTextCursor::End);
    m_mark = std::min(m_mark, c.position());
    c.setPosition(m_mark, QTextCursor::KeepAnchor);
    c.insertText(text, Format(colour));
    m_details->moveCursor(QTextCursor::End);
}

void CPageUpdate::ShowProgress(const QString& text, std::uint64_t sent, std::uint64_t size) {
    // The percentage follows its line's text after a space: "Uploading app1 42%".
    const bool glued = m_mark > 0 && !m_details->document()->characterAt(m_mark - 1).isSpace();
    ReplaceLastDetail(glued ? QLatin1Char(' ') + text : text, kBlue);
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    m_percent = std::clamp(digits.toInt(), 0, 100);
    m_percentText = text.trimmed();
    m_sent = sent;
    m_size = size;
    if (!m_inProgress) {
        // The first percentage comes as the first piece is read: the transfer's start.
        m_inProgress = true;
        m_rate.Start(0);
        m_lastDraw.invalidate();
    }
    // Bar and text are redrawn together, at most ten times a second; what comes meanwhile
    // is drawn when the tenth of a second is over, so they never lag behind the text.
    if (m_lastDraw.isValid() && m_lastDraw.elapsed() < 100 && m_percent < 100) {
        if (!m_drawLater.isActive()) {
            m_drawLater.start(static_cast<int>(100 - m_lastDraw.elapsed()));
        }
        return;
    }
    DrawProgress();
}

void CPageUpdate::SetSent(std::uint64_t sent) {
    if (m_inProgress) {
        m_sent = sent;
    }
}

void CPageUpdate::EndProgress() {
    if (!m_inProgress) {
        return;
    }
    DrawProgress();
    m_inProgress = false;
}

void CPageUpdate::DrawProgress() {
    if (!m_inProgress) {
        return;
    }
    m_drawLater.stop();
    m_lastDraw.start();
    // The average rate since the transfer began.
    const double rate = m_rate.BytesPerSecond(m_sent);
    const int left = std::max(m_rate.SecondsLeft(m_sent, m_size), 0);
    const QLocale locale;
    m_progressText->setText(Label(L::Progress)
                                .arg(locale.formattedDataSize(static_cast<qint64>(m_sent)))
                                .arg(locale.formattedDataSize(static_cast<qint64>(m_size)))
                                .arg(locale.formattedDataSize(static_cast<qint64>(rate)))
                                .arg(QStringLiteral("%1 s").arg(left)));
    m_bar->setVisible(true);
    m_progressText->setVisible(true);
    m_bar->setAccessibleDescription(m_percentText);
    m_bar->setValue(m_percent);
}

void CPageUpdate::Clear() {
    m_details->clear();
    m_mark = 0;
    m_inProgress = false;
    m_drawLater.stop();
    SetState(Str(6511));
    m_bar->setValue(0);
    m_bar->setVisible(false);
    m_progressText->clear();
    m_progressText->setVisible(false);
}

QString CPageUpdate::StateText() const {
    return m_state->text();
}

QString CPageUpdate::DetailsText() const {
    return m_details->toPlainText();
}

std::uint32_t CPageUpdate::DetailColourAt(int position) const {
    return ColourAt(*m_details->document(), position);
}

}  // namespace vorn::gui
