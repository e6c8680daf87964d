#pragma once
// The program's message boxes. Their text often comes from a gateway, a package or a file, so
// it is always shown as plain text: markup in it is never interpreted and never loads
// anything. A question's default and escape button is the one that does nothing, so Enter
// never proceeds.
#include <QMessageBox>

namespace vorn::gui {

// Shows the box modally; returns the button pressed (`safe` when the box is closed).
QMessageBox::StandardButton RunPlainBox(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton safe);

}  // namespace vorn::gui
