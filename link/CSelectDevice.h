#pragma once
// The "Select Device" dialog as state the GUI shows (CSelectDevice), and the connect page's
// side of the wizard search that drives it (CDeviceSearch).
//
// The dialog talks back to the page only by posting message 0x4C8: wParam 10 refresh,
// 12 cancel, 13 OK with the chosen address (network byte order) or -1 as lParam.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/CWizardSearch.h"
#include "platform/CMessageTarget.h"

namespace vorn {

inline constexpr unsigned WM_SELECT_DEVICE = 0x4C8;
enum : WParam { kSelectDeviceRefresh = 10, kSelectDeviceCancel = 12, kSelectDeviceOk = 13 };
inline constexpr LParam kSelectDeviceNone = -1;

class CSelectDevice {
public:
    struct Row {
        std::string number;   // "1", "2", ...
        std::string address;  // dotted
        std::uint32_t netOrder;
    };
    enum class Focus { None, Refresh };

    // `page` receives the 0x4C8 messages.
    explicit CSelectDevice(CMessageTarget* page);

    // A search started: status "Searching...", no rows, Refresh disabled until it finishes.
    void Open();
    // The page's answer to Refresh: status "Refreshing...", no rows.
    void ShowRefreshing();
    void AddAddress(std::uint32_t netOrder);
    // The search ended: Refresh enabled, the row count shown, the first row selected and
    // Refresh focused when there is a row.
    void Finish();
    // The person's selection in the list (-1 = none).
    void Select(int row);

    // Buttons. Refresh and Cancel post their message; OK posts the selected address (-1 with
    // an empty list) and closes, but with rows and none selected it does nothing and the
    // dialog stays open (false).
    void Refresh();
    void Cancel();
    bool Ok();
    // A double click on a row selects it and acts as OK.
    bool DoubleClick(int row);

    bool IsOpen() const { return m_open; }
    const std::vector<Row>& Rows() const { return m_rows; }
    const std::string& Status() const { return m_status; }
    bool RefreshEnabled() const { return m_refreshEnabled; }
    int Selected() const { return m_selected; }
    Focus FocusedControl() const { return m_focus; }
    // Widths of the columns "No." (2/10) and "IP Address" (7/10) of a list `width` wide.
    static std::pair<int, int> ColumnWidths(int width) { return {width * 2 / 10, width * 7 / 10}; }

private:
    void ShowCount();
    bool Post(WParam w, LParam l, const char* failure);

    CMessageTarget* m_page;
    bool m_open = false;
    std::vector<Row> m_rows;
    std::string m_status;
    bool m_refreshEnabled = true;
    int m_selected = -1;
    Focus m_focus = Focus::None;
};

// The connect page's part of a search: the "Search" button, the found list, the dialog and
// the page's reactions to 0x4C8 (which arrive on Target()).
class CDeviceSearch : public CWizardSearch::Listener {
public:
    // `picked` receives the dotted address the person chose with OK.
    CDeviceSearch(CWizardSearch& search, std::function<void(const std::string&)> picked);
    ~CDeviceSearch() override;

    // The "Search" button: empties the found list and starts a search; when it started, any
    // open dialog is replaced by a new one. False when the search was refused.
    bool Search();
    void OnSelectDeviceMessage(WParam w, LParam l);

    // The open dialog, or null.
    CSelectDevice* Dialog() { return m_dialog.get(); }
    // Addresses found by the current search (network byte order, arrival order).
    const std::vector<std::uint32_t>& FoundList() const { return m_found; }
    CMessageTarget* Target() { return &m_target; }

    void OnGatewayFound(std::uint32_t address) override;
    void OnSearchFinished(const std::vector<std::uint32_t>& sorted) override;

private:
    CWizardSearch& m_search;
    std::function<void(const std::string&)> m_picked;
    CMessageTarget m_target;
    std::unique_ptr<CSelectDevice> m_dialog;
    std::vector<std::uint32_t> m_found;
};

}  // namespace vorn
