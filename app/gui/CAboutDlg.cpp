#include "app/gui/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/gui/BuildTime.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Label(L::AboutTitle));
    auto* name = new QLabel(Str(6635), this);
    QFont f = name->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    name->setFont(f);
    auto* version = new QLabel(Label(L::VersionText).arg(QStringLiteral(VORN_VERSION)), this);
    version->setObjectName(QStringLiteral("version"));
    auto* built = new QLabel(BuildTimeLine(), this);
    built->setObjectName(QStringLiteral("buildTime"));
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(version);
    versionRow->addStretch();
    versionRow->addWidget(built);
    auto* text = new QLabel(Label(L::AboutText), this);
    text->setWordWrap(true);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addLayout(versionRow);
    layout->addWidget(text);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

}  // namespace vorn::gui
