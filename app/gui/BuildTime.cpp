// Alone in its file: only this file changes with every build. A reproducible build sets
// SOURCE_DATE_EPOCH, which the compiler uses for both macros.
#include "app/gui/BuildTime.h"

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wdate-time"
#endif

namespace vorn::gui {

QString BuildTimeLine() {
    return QStringLiteral("Build time: ") + QLatin1String(__DATE__) + QStringLiteral(" - ") +
           QLatin1String(__TIME__);
}

}  // namespace vorn::gui
