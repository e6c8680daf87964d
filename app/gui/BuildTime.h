#pragma once
// When this program was built, as the About dialog shows it.
#include <QString>

namespace vorn::gui {

// "Build time: " + the compiler's date ("Mmm dd yyyy") + " - " + its time ("hh:mm:ss").
QString BuildTimeLine();

}  // namespace vorn::gui
