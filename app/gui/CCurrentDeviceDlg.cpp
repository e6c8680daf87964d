#include "app/gui/CCurrentDeviceDlg.h"

#include <QComboBox>
#include <QPushButton>

#include "app/gui/ConsoleLabels.h"
#include "packages/ProductTags.h"

namespace vorn::gui {
namespace {

// Entries with their positions; a reserved position (no device has it) is not offered.
template <std::size_t N>
QComboBox* ChoiceBox(const DeviceChoice (&choices)[N], QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (std::size_t i = 0; i < N; ++i) {
        if (!choices[i].example.empty()) {
            box->addItem(QString::fromUtf8(choices[i].label.data(),
                                           static_cast<qsizetype>(choices[i].label.size())),
                         static_cast<int>(i));
        }
    }
    box->setCurrentIndex(-1);  // nothing chosen at first
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

int Chosen(const QComboBox* box) {
    return box->currentIndex() < 0 ? -1 : box->currentData().toInt();
}

}  // namespace

CCurrentDeviceDlg::CCurrentDeviceDlg(QWidget* parent)
    : CFormDlg(ConsoleLabel(CL::CurrentDeviceTitle), parent) {
    AddText(ConsoleLabel(CL::CurrentDeviceWarning));
    m_model = ChoiceBox(kDeviceModels, this);
    m_series = ChoiceBox(kDeviceSeries, this);
    AddRow(ConsoleLabel(CL::Model), m_model);
    AddRow(ConsoleLabel(CL::ProductSeries), m_series);
    setMinimumWidth(420);
    connect(m_model, &QComboBox::currentIndexChanged, this, &CCurrentDeviceDlg::Refresh);
    connect(m_series, &QComboBox::currentIndexChanged, this, &CCurrentDeviceDlg::Refresh);
    Refresh();
}

int CCurrentDeviceDlg::Model() const {
    return Chosen(m_model);
}

int CCurrentDeviceDlg::Series() const {
    return Chosen(m_series);
}

void CCurrentDeviceDlg::Refresh() {
    OkButton()->setEnabled(Model() >= 0 && Series() >= 0);
}

bool CCurrentDeviceDlg::Validate() {
    return Model() >= 0 && Series() >= 0;
}

}  // namespace vorn::gui
