#include "app/gui/CConsoleWindow.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

#include "app/gui/CGuiOperator.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CConsoleWindow::CConsoleWindow(CGuiOperator& op) {
    setWindowTitle(Str(6702));
    m_view = new QPlainTextEdit(this);
    m_view->setReadOnly(true);
    m_view->setMaximumBlockCount(10000);
    m_view->setAccessibleName(Str(6702));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    resize(640, 420);
    op.SetConsoleSink([this](const std::string& text, std::uint32_t colour, bool replace) {
        Append(Q(text), colour, replace);
    });
}

QString CConsoleWindow::Text() const {
    return m_view->toPlainText();
}

void CConsoleWindow::Append(const QString& text, std::uint32_t colour, bool replace) {
    QTextCharFormat f;
    f.setForeground(QColor(colour & 0xff, (colour >> 8) & 0xff, (colour >> 16) & 0xff));
    QTextCursor c(m_view->document());
    c.movePosition(QTextCursor::End);
    if (replace) {
        m_mark = std::min(m_mark, c.position());
        c.setPosition(m_mark, QTextCursor::KeepAnchor);
    }
    c.insertText(text, f);
    if (!replace) {
        m_mark = c.position();
    }
}

}  // namespace vorn::gui
