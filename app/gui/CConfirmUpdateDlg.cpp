#include "app/gui/CConfirmUpdateDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"
#include "operations/CUpdateEvents.h"

namespace vorn::gui {
namespace {

QLabel* BoldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QLineEdit* ReadOnlyField(const QString& text, QWidget* parent) {
    auto* e = new QLineEdit(text.trimmed(), parent);
    e->setReadOnly(true);
    return e;
}

}  // namespace

CConfirmUpdateDlg::CConfirmUpdateDlg(const CUpdateEvents& events, const QString& tips,
                                     const QString& from, const QString& to, bool preCheck,
                                     QWidget* parent)
    : QDialog(parent), m_events(events), m_preCheck(preCheck) {
    setWindowTitle(Label(L::ConfirmUpdateTitle));
    auto* fromLabel = BoldLabel(Label(L::FromVersion), this);
    auto* toLabel = BoldLabel(Label(L::ToVersion), this);
    auto* tipsLabel = BoldLabel(Label(L::UpdateTips), this);
    m_statusLabel = BoldLabel(Label(L::CheckStatus), this);
    auto* fromField = ReadOnlyField(from, this);
    auto* toField = ReadOnlyField(to, this);
    fromLabel->setBuddy(fromField);
    toLabel->setBuddy(toField);
    m_tips = new QPlainTextEdit(this);
    m_tips->setReadOnly(true);
    m_tips->setPlainText(tips);
    tipsLabel->setBuddy(m_tips);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setAccessibleName(AccessibleLabel(Label(L::CheckStatus)));
    m_retry = new QPushButton(Label(L::Retry), this);
    m_retry->setAutoDefault(false);

    auto* box = new QDialogButtonBox(this);
    m_update = box->addButton(Label(L::UpdateButton), QDialogButtonBox::AcceptRole);
    m_cancel = box->addButton(Str(6641), QDialogButtonBox::RejectRole);

    auto* grid = new QGridLayout;
    grid->addWidget(fromLabel, 0, 0);
    grid->addWidget(fromField, 0, 1, 1, 2);
    grid->addWidget(toLabel, 1, 0);
    grid->addWidget(toField, 1, 1, 1, 2);
    grid->addWidget(tipsLabel, 2, 0, Qt::AlignTop);
    grid->addWidget(m_tips, 2, 1, 1, 2);
    grid->addWidget(m_statusLabel, 3, 0, Qt::AlignTop);
    grid->addWidget(m_status, 3, 1);
    grid->addWidget(m_retry, 3, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(box);
    resize(520, 380);

    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_retry, &QPushButton::clicked, this, &CConfirmUpdateDlg::OnRetry);

    NameFieldsByTheirLabels(this);
    m_retry->hide();
    if (m_preCheck) {
        m_update->setEnabled(false);
        SetCheckStatus(Str(104));
    } else {
        m_update->setEnabled(true);
        m_status->hide();
        m_statusLabel->hide();
    }
}

void CConfirmUpdateDlg::SetCheckStatus(const QString& text) {
    m_status->setText(text.trimmed());
    // A tool tip is rich text when it looks like it: the gateway's reason goes in escaped.
    m_status->setToolTip(Qt::convertFromPlainText(text.trimmed(), Qt::WhiteSpaceNormal));
}

void CConfirmUpdateDlg::RefreshCheckButtons() {
    if (!m_preCheck) {
        m_status->hide();
        m_statusLabel->hide();
        return;
    }
    m_update->setEnabled(m_events.CheckFinished());
    m_retry->setVisible(m_events.CheckFinished() && !m_events.CheckPassed());
}

void CConfirmUpdateDlg::OnRetry() {
    m_update->setEnabled(false);
    m_retry->hide();
    emit RetryRequested();
    SetCheckStatus(Q(m_events.CheckStatus()));
}

}  // namespace vorn::gui
