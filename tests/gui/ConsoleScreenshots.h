#pragma once
// Pictures of the technical support console and its dialogs (part of gui-screenshots).
#include <QString>
#include <QWidget>

#include <functional>

namespace vorn::gui {
class CMainSheet;
}

// Lays out and saves one window under `name`.
using SaveShot = std::function<void(QWidget&, const QString& name)>;
void SaveConsoleScreenshots(vorn::gui::CMainSheet& sheet, const SaveShot& save);
