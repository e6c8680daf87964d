#pragma once
// The text view of the technical support console: read-only plain text in the program's
// colours, capped at kMaxBlocks lines (the oldest go first), with one progress line that is
// rewritten in place. Text is never interpreted as markup.
#include <QPlainTextEdit>
#include <QTextCursor>

#include <cstdint>

namespace vorn::gui {

class CConsoleView : public QPlainTextEdit {
public:
    static constexpr int kMaxBlocks = 10000;

    explicit CConsoleView(QWidget* parent = nullptr);

    // Appends `text` at the end in `colour` (0x00BBGGRR) and scrolls to it.
    void Append(const QString& text, std::uint32_t colour);
    // The progress anchor is the current end; ReplaceFromAnchor replaces everything after it.
    void SetAnchor();
    void ReplaceFromAnchor(const QString& text, std::uint32_t colour);
    // The colour (0x00BBGGRR) of the character at `position` of the plain text.
    std::uint32_t ColourAt(int position) const;

private:
    void InsertAtEnd(QTextCursor& cursor, const QString& text, std::uint32_t colour);

    // Moves with the text when old lines are dropped at the top.
    QTextCursor m_anchor;
};

}  // namespace vorn::gui
