#pragma once
// The technical support console's window, raised by F10. For now it shows the console text
// of the core (plain text, capped, progress rewritten in place); its menus come later.
#include <QWidget>

#include <cstdint>

class QPlainTextEdit;

namespace vorn::gui {

class CGuiOperator;

class CConsoleWindow : public QWidget {
public:
    explicit CConsoleWindow(CGuiOperator& op);

    QString Text() const;

private:
    void Append(const QString& text, std::uint32_t colour, bool replace);

    QPlainTextEdit* m_view = nullptr;
    int m_mark = 0;
};

}  // namespace vorn::gui
