#pragma once
// "Current Device": after a login that found no readable firmware version, the person says
// which device this is (model and product series). The positions of the two lists are the
// numbers the script layout and the product line are chosen from.
#include "app/gui/CFormDlg.h"

class QComboBox;

namespace vorn::gui {

class CCurrentDeviceDlg : public CFormDlg {
public:
    explicit CCurrentDeviceDlg(QWidget* parent);

    QComboBox* ModelBox() { return m_model; }
    QComboBox* SeriesBox() { return m_series; }
    // The chosen positions; -1 while nothing is chosen.
    int Model() const;
    int Series() const;

protected:
    bool Validate() override;

private:
    void Refresh();

    QComboBox* m_model = nullptr;
    QComboBox* m_series = nullptr;
};

}  // namespace vorn::gui
