#include "app/gui/CConsoleView.h"

#include <algorithm>

#include <QScrollBar>

#include "app/gui/ConsoleLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CConsoleView::CConsoleView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setMaximumBlockCount(kMaxBlocks);
    setUndoRedoEnabled(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setAccessibleName(ConsoleLabel(CL::ConsoleOutput));
    SetAnchor();
}

void CConsoleView::InsertAtEnd(QTextCursor& cursor, const QString& text, std::uint32_t colour) {
    // Follow the output only when the person has not scrolled up to read older lines.
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCharFormat format;
    format.setForeground(ColourOf(colour));
    cursor.insertText(text, format);
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

void CConsoleView::Append(const QString& text, std::uint32_t colour) {
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    InsertAtEnd(c, text, colour);
}

void CConsoleView::SetAnchor() {
    m_anchor = QTextCursor(document());
    m_anchor.movePosition(QTextCursor::End);
    // Text appended later goes after the anchor, not before it.
    m_anchor.setKeepPositionOnInsert(true);
}

void CConsoleView::ReplaceFromAnchor(const QString& text, std::uint32_t colour) {
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    const int end = c.position();
    c.setPosition(std::min(m_anchor.position(), end));
    c.setPosition(end, QTextCursor::KeepAnchor);
    InsertAtEnd(c, text, colour);
}

std::uint32_t CConsoleView::ColourAt(int position) const {
    return vorn::gui::ColourAt(*document(), position);
}

}  // namespace vorn::gui
