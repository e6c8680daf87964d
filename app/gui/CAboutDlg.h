#pragma once
// The About dialog: the program's name, version, build time and what it does.
#include <QDialog>

namespace vorn::gui {

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent);
};

}  // namespace vorn::gui
