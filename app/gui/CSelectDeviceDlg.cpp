#include "app/gui/CSelectDeviceDlg.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/CSelectDevice.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CSelectDeviceDlg::CSelectDeviceDlg(CDeviceSearch& search, QWidget* parent)
    : QDialog(parent), m_search(search) {
    setWindowTitle(Label(L::SelectDeviceTitle));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    m_list = new QTableWidget(0, 2, this);
    m_list->setHorizontalHeaderLabels({Label(L::ColumnNo), Label(L::ColumnAddress)});
    m_list->verticalHeader()->hide();
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->setAccessibleName(Label(L::SelectDeviceTitle));
    m_list->viewport()->installEventFilter(this);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    auto* box = new QDialogButtonBox(this);
    m_ok = box->addButton(QDialogButtonBox::Ok);
    m_cancel = box->addButton(QDialogButtonBox::Cancel);
    m_refresh = box->addButton(Label(L::Refresh), QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_status);
    layout->addWidget(box);
    resize(360, 280);

    connect(m_ok, &QPushButton::clicked, this, &CSelectDeviceDlg::Ok);
    connect(m_cancel, &QPushButton::clicked, this, &CSelectDeviceDlg::Cancel);
    connect(m_refresh, &QPushButton::clicked, this, &CSelectDeviceDlg::Refresh);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (CSelectDevice* d = m_search.Dialog()) {
            d->DoubleClick(row);
            Sync();
        }
    });
    connect(m_list, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (CSelectDevice* d = m_search.Dialog()) {
            d->Select(row);
        }
    });
}

void CSelectDeviceDlg::Sync() {
    CSelectDevice* d = m_search.Dialog();
    if (!d || !d->IsOpen()) {
        hide();
        deleteLater();
        return;
    }
    const QSignalBlocker block(m_list);
    m_list->setRowCount(static_cast<int>(d->Rows().size()));
    int row = 0;
    for (const CSelectDevice::Row& r : d->Rows()) {
        m_list->setItem(row, 0, new QTableWidgetItem(Q(r.number)));
        m_list->setItem(row, 1, new QTableWidgetItem(Q(r.address)));
        ++row;
    }
    if (d->Selected() >= 0) {
        m_list->selectRow(d->Selected());
    }
    m_status->setText(Q(d->Status()));
    m_refresh->setEnabled(d->RefreshEnabled());
    if (d->FocusedControl() == CSelectDevice::Focus::Refresh) {
        m_refresh->setFocus();
    }
}

void CSelectDeviceDlg::Ok() {
    if (CSelectDevice* d = m_search.Dialog()) {
        d->Ok();
    }
    Sync();
}

void CSelectDeviceDlg::Cancel() {
    if (CSelectDevice* d = m_search.Dialog()) {
        d->Cancel();
    }
    Sync();
}

void CSelectDeviceDlg::Refresh() {
    if (CSelectDevice* d = m_search.Dialog()) {
        d->Refresh();
    }
    Sync();
}

bool CSelectDeviceDlg::eventFilter(QObject* watched, QEvent* event) {
    // The columns follow the list's own width (the dialog's resize comes before the layout
    // has given the list its new size).
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        const auto [no, address] = CSelectDevice::ColumnWidths(m_list->viewport()->width());
        m_list->setColumnWidth(0, no);
        m_list->setColumnWidth(1, address);
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vorn::gui
