#include "app/gui/GuiText.h"

#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>

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

std::uint32_t ColourAt(const QTextDocument& document, int position) {
    QTextCursor c(const_cast<QTextDocument*>(&document));
    c.setPosition(position);
    c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    const QColor q = c.charFormat().foreground().color();
    return static_cast<std::uint32_t>(q.red()) | (static_cast<std::uint32_t>(q.green()) << 8) |
           (static_cast<std::uint32_t>(q.blue()) << 16);
}

QString AccessibleLabel(const QString& label) {
    QString name = label;
    name.remove(QRegularExpression(QStringLiteral("\\(&[^)]\\)")));
    name.remove('&');
    name.remove(QRegularExpression(QStringLiteral("(\\.\\.\\.|\u2026|[:\uff1a])+\\s*$")));
    return name.trimmed();
}

void NameFieldsByTheirLabels(QWidget* root) {
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QWidget* field = label->buddy();
        if (field && field->accessibleName().isEmpty()) {
            field->setAccessibleName(AccessibleLabel(label->text()));
        }
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
