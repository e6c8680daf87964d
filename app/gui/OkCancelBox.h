#pragma once
// The common frame of a small dialog: its controls above an OK / Cancel row.
class QDialog;
class QDialogButtonBox;
class QLayout;

namespace vorn::gui {

// Sets the dialog's layout to `body` above an OK / Cancel row whose buttons call the dialog's
// accept() and reject() (overrides included). Returns the row.
QDialogButtonBox* AddOkCancel(QDialog& dialog, QLayout* body);

}  // namespace vorn::gui
