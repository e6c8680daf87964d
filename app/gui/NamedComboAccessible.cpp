#include "app/gui/NamedComboAccessible.h"

#include <QAccessibleWidget>
#include <QComboBox>

namespace vorn::gui {
namespace {

class CNamedComboAccessible : public QAccessibleWidget {
public:
    explicit CNamedComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return Combo()->accessibleName();
            case QAccessible::Value:
                return Combo()->currentText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.expandable = true;
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) {
            Combo()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* NamedComboFactory(const QString& className, QObject* object) {
    auto* combo = qobject_cast<QComboBox*>(object);
    if (className == QLatin1String("QComboBox") && combo && combo->isEditable() &&
        !combo->accessibleName().isEmpty()) {
        return new CNamedComboAccessible(combo);
    }
    return nullptr;
}

}  // namespace

void InstallNamedComboAccessibility() {
    // Factories installed later are asked first: this one comes before the widgets' own.
    static const bool installed = [] {
        QAccessible::installFactory(NamedComboFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace vorn::gui
