#include "app/CSelectDevice.h"

#include <algorithm>

#include "lib/StringTable.h"
#include "lib/Text.h"

namespace vorn {

CSelectDevice::CSelectDevice(Callbacks callbacks) : m_callbacks(std::move(callbacks)) {}

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

void CSelectDevice::Refresh() {
    if (!m_open || !m_refreshEnabled) {
        return;
    }
    m_refreshEnabled = false;
    if (m_callbacks.refresh) {
        m_callbacks.refresh();
    }
}

void CSelectDevice::Cancel() {
    if (!m_open) {
        return;
    }
    m_open = false;
    if (m_callbacks.cancel) {
        m_callbacks.cancel();
    }
}

bool CSelectDevice::Ok() {
    if (!m_open) {
        return false;
    }
    std::optional<std::uint32_t> address;
    if (!m_rows.empty()) {
        if (m_selected < 0) {
            return false;
        }
        address = m_rows[static_cast<std::size_t>(m_selected)].netOrder;
    }
    m_open = false;
    if (m_callbacks.ok) {
        m_callbacks.ok(address);
    }
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
}

CDeviceSearch::~CDeviceSearch() {
    m_search.SetListener(nullptr);
}

bool CDeviceSearch::Search() {
    m_found.clear();
    if (!m_search.Start()) {
        return false;
    }
    m_closed.reset();
    CSelectDevice::Callbacks callbacks;
    callbacks.refresh = [this] { OnRefresh(); };
    callbacks.cancel = [this] { Close(); };
    callbacks.ok = [this](std::optional<std::uint32_t> address) {
        Close();
        if (address && m_picked) {
            m_picked(DottedAddress(*address));
        }
    };
    m_dialog = std::make_unique<CSelectDevice>(std::move(callbacks));
    m_dialog->Open();
    return true;
}

void CDeviceSearch::Close() {
    m_closed = std::move(m_dialog);
}

void CDeviceSearch::OnRefresh() {
    if (m_dialog) {
        m_dialog->ShowRefreshing();
    }
    m_found.clear();
    m_search.Start();
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

}  // namespace vorn
