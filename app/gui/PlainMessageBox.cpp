#include "app/gui/PlainMessageBox.h"

namespace vorn::gui {

QMessageBox::StandardButton RunPlainBox(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton safe) {
    QMessageBox box(icon, title, QString(), buttons, parent);
    // The format first: a rich text set before it would already have been laid out.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setDefaultButton(safe);
    box.setEscapeButton(safe);
    const int answer = box.exec();
    // exec() gives the standard button, or a rejection code when the box was closed.
    return buttons.testFlag(static_cast<QMessageBox::StandardButton>(answer))
               ? static_cast<QMessageBox::StandardButton>(answer)
               : safe;
}

}  // namespace vorn::gui
