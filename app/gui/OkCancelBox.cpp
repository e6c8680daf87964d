#include "app/gui/OkCancelBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace vorn::gui {

QDialogButtonBox* AddOkCancel(QDialog& dialog, QLayout* body) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(body);
    layout->addWidget(box);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return box;
}

}  // namespace vorn::gui
