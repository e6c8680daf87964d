#pragma once
// Screen readers on this platform hear a combo box by its current text. An editable combo
// box given an accessible name (the connect page's address box) is announced by that name
// instead, with its text as its value.
namespace vorn::gui {

// Once per process, before a screen reader first asks for the combo box.
void InstallNamedComboAccessibility();

}  // namespace vorn::gui
