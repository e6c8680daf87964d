#include "app/gui/CCommandConsoleDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/CGuiOperator.h"
#include "app/gui/CommandLabels.h"
#include "app/gui/GuiText.h"
#include "app/gui/OkCancelBox.h"

namespace vorn::gui {

CCommandConsoleDlg::CCommandConsoleDlg(CGuiOperator& op, QWidget* parent)
    : QDialog(parent), m_op(op) {
    setWindowTitle(CommandLabel(CML::ConsoleTitle));
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(font().pointSizeF());
    setFont(arial);
    m_action = new QComboBox(this);
    m_action->addItems({QStringLiteral("put"), QStringLiteral("get"), QStringLiteral("exec")});
    m_action->setCurrentIndex(kExec);
    m_text = new QLineEdit(this);
    m_text->setMinimumWidth(320);
    m_hint = new QLabel(this);
    m_hint->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(CommandLabel(CML::ConsoleAction), m_action);
    form->addRow(CommandLabel(CML::ConsoleText), m_text);
    form->addRow(QString(), m_hint);
    QDialogButtonBox* box = AddOkCancel(*this, form);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    connect(m_action, &QComboBox::currentIndexChanged, this, &CCommandConsoleDlg::UpdateHint);
    UpdateHint();
    m_text->setFocus();
}

CCommandConsoleDlg::Action CCommandConsoleDlg::Chosen() const {
    return static_cast<Action>(m_action->currentIndex());
}

std::string CCommandConsoleDlg::Text() const {
    return S(m_text->text().trimmed());
}

void CCommandConsoleDlg::accept() {
    if (Text().empty()) {
        CGuiOperator::CDialogScope overThis(m_op, this);
        m_op.ShowMessage(LoadStr(6783));
        return;
    }
    QDialog::accept();
}

void CCommandConsoleDlg::UpdateHint() {
    static constexpr CML kHints[] = {CML::HintPut, CML::HintGet, CML::HintExec};
    m_hint->setText(CommandLabel(kHints[m_action->currentIndex()]));
    m_text->setAccessibleDescription(m_hint->text());
}

}  // namespace vorn::gui
