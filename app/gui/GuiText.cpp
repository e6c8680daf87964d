#include "app/gui/GuiText.h"

#include <QStringList>

namespace vorn::gui {

QString InLanguage(const char* en, const char* cn, const char* tw) {
    switch (CurrentLanguage()) {
        case Language::Simplified:
            return QString::fromUtf8(cn);
        case Language::Traditional:
            return QString::fromUtf8(tw);
        default:
            return QString::fromUtf8(en);
    }
}

QString FileDialogFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString desc = parts[i];
        const qsizetype open = desc.indexOf('(');
        if (open >= 0) {
            desc = desc.left(open).trimmed();
        }
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << desc + " (" + patterns + ")";
    }
    return out.join(";;");
}

}  // namespace vorn::gui
