#include "link/CSelectDevice.h"

#include <algorithm>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"

namespace vorn {

CSelectDevice::CSelectDevice(CMessageTarget* page) : m_page(page) {}

void CSelectDevice::Open() {
    m_open = true;
    m_rows.clear();
    m_selected = -1;
    m_focus = Focus::None;
    m_refreshEnabled = false;
    m_status = LoadStr(6689);
}

void CSelectDevice::ShowRefreshing() {
    m_rows.clear();
    m_selected = -1;
    m_status = LoadStr(6692);
}

void CSelectDevice::ShowCount() {
    m_status = FormatStr(6628, static_cast<int>(m_rows.size()));
}

void CSelectDevice::AddAddress(std::uint32_t netOrder) {
    m_rows.push_back(
        {StrPrintf("%d", static_cast<int>(m_rows.size()) + 1), DottedAddress(netOrder), netOrder});
    ShowCount();
}

void CSelectDevice::Finish() {
    m_refreshEnabled = true;
    ShowCount();
    if (!m_rows.empty()) {
        m_selected = 0;
        m_focus = Focus::Refresh;
    }
}

void CSelectDevice::Select(int row) {
    m_selected = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
}

bool CSelectDevice::Post(WParam w, LParam l, const char* failure) {
    if (!m_page || !m_page->post(WM_SELECT_DEVICE, w, l)) {
        LogWrite(failure, kLogError);
        return false;
    }
    return true;
}

void CSelectDevice::Refresh() {
    if (!m_open || !m_refreshEnabled) {
        return;
    }
    m_refreshEnabled = false;
    Post(kSelectDeviceRefresh, 0, "Post Refresh Message Failed!");
}

void CSelectDevice::Cancel() {
    if (!m_open) {
        return;
    }
    Post(kSelectDeviceCancel, 0, "Post Cancel Message Failed!");
    m_open = false;
}

bool CSelectDevice::Ok() {
    if (!m_open) {
        return false;
    }
    LParam address = kSelectDeviceNone;
    if (!m_rows.empty()) {
        if (m_selected < 0) {
            return false;
        }
        address = static_cast<LParam>(m_rows[static_cast<std::size_t>(m_selected)].netOrder);
    }
    Post(kSelectDeviceOk, address, "Post OK Message Failed!");
    m_open = false;
    return true;
}

bool CSelectDevice::DoubleClick(int row) {
    Select(row);
    return Ok();
}

// ---------------------------------------------------------------------------------------------

CDeviceSearch::CDeviceSearch(CWizardSearch& search, std::function<void(const std::string&)> picked)
    : m_search(search), m_picked(std::move(picked)) {
    m_search.SetListener(this);
    m_target.setHandler([this](unsigned msg, WParam w, LParam l) {
        if (msg == WM_SELECT_DEVICE) {
            OnSelectDeviceMessage(w, l);
        }
    });
}

CDeviceSearch::~CDeviceSearch() {
    m_target.setHandler({});
    m_search.SetListener(nullptr);
}

bool CDeviceSearch::Search() {
    m_found.clear();
    if (!m_search.Start()) {
        return false;
    }
    m_dialog = std::make_unique<CSelectDevice>(&m_target);
    m_dialog->Open();
    return true;
}

void CDeviceSearch::OnGatewayFound(std::uint32_t address) {
    if (std::find(m_found.begin(), m_found.end(), address) == m_found.end()) {
        m_found.push_back(address);
    }
}

void CDeviceSearch::OnSearchFinished(const std::vector<std::uint32_t>& sorted) {
    if (!m_dialog) {
        return;
    }
    for (const std::uint32_t address : sorted) {
        m_dialog->AddAddress(address);
    }
    m_dialog->Finish();
}

void CDeviceSearch::OnSelectDeviceMessage(WParam w, LParam l) {
    switch (w) {
        case kSelectDeviceRefresh:
            if (m_dialog) {
                m_dialog->ShowRefreshing();
            }
            m_found.clear();
            m_search.Start();
            break;
        case kSelectDeviceCancel:
            m_dialog.reset();
            break;
        case kSelectDeviceOk:
            m_dialog.reset();
            if (l != kSelectDeviceNone && m_picked) {
                m_picked(DottedAddress(static_cast<std::uint32_t>(l)));
            }
            break;
        default:
            break;
    }
}

}  // namespace vorn
