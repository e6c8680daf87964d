#pragma once
// Texts for widgets: numbered texts of the string table and texts of the core as QString.
#include <QString>

#include <string>

#include "lib/StringTable.h"

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
// The one of three texts (UTF-8) that belongs to the current language.
QString InLanguage(const char* en, const char* cn, const char* tw);
// A filter of the core ("Desc (*.a;*.b)|*.a;*.b|All (*.*)|*.*||") as a file-dialog filter.
QString FileDialogFilter(const std::string& filter);

}  // namespace vorn::gui
