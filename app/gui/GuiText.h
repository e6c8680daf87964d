#pragma once
// Texts for widgets: numbered texts of the string table and texts of the core as QString.
#include <QColor>
#include <QString>

#include <cstdint>

#include <string>

#include "lib/StringTable.h"

class QTextDocument;
class QWidget;

namespace vorn::gui {

inline QString Str(int id) {
    return QString::fromUtf8(LoadStr(id));
}
inline QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}
// The text of the user's language among the three (UTF-8).
QString InLanguage(const char* en, const char* cn, const char* tw);
// A control label of the program's own in the three languages (UTF-8).
struct Trilingual {
    const char* en;
    const char* cn;
    const char* tw;
};
inline QString InLanguage(const Trilingual& t) {
    return InLanguage(t.en, t.cn, t.tw);
}
// A colour as the program stores it (0x00BBGGRR).
inline QColor ColourOf(std::uint32_t bgr) {
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}
// The colour (0x00BBGGRR) of the character at `position` of a document's plain text.
std::uint32_t ColourAt(const QTextDocument& document, int position);
// The name a screen reader gives a control labelled `label`: the label without its mnemonic
// ("&Search..." and "搜索(&S)..." give "Search" and "搜索"), its dots and its colon.
QString AccessibleLabel(const QString& label);
// Gives every field under `root` that a label names (its buddy) and has no name of its own
// the label's AccessibleLabel: screen readers otherwise hear the mnemonic ("密码(P):").
void NameFieldsByTheirLabels(QWidget* root);
// A filter of the core ("Desc (*.a;*.b)|*.a;*.b|All (*.*)|*.*||") as a file-dialog filter.
QString FileDialogFilter(const std::string& filter);

}  // namespace vorn::gui
