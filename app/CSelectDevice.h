#pragma once
// The "Select Device" dialog as a state machine without widgets (CSelectDevice), and the
// connect page's side of the wizard search that drives it (CDeviceSearch). The GUI shows the
// state and forwards the person's clicks; the dialog tells the page what was chosen through
// callbacks.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/CWizardSearch.h"

namespace vorn {

class CSelectDevice {
public:
    struct Row {
        std::string number;   // "1", "2", ...
        std::string address;  // dotted
        std::uint32_t netOrder;
    };
    enum class Focus { None, Refresh };
    // What the buttons tell the page. OK gives the chosen address (network byte order), or
    // nothing when the list was empty. The dialog is closed before OK and Cancel are called.
    struct Callbacks {
        std::function<void()> refresh;
        std::function<void()> cancel;
        std::function<void(std::optional<std::uint32_t>)> ok;
    };

    explicit CSelectDevice(Callbacks callbacks);

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

    // Buttons. Refresh and Cancel call their callback; OK closes and hands over the selected
    // address (none with an empty list), but with rows and none selected it does nothing and
    // the dialog stays open (false).
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

    Callbacks m_callbacks;
    bool m_open = false;
    std::vector<Row> m_rows;
    std::string m_status;
    bool m_refreshEnabled = true;
    int m_selected = -1;
    Focus m_focus = Focus::None;
};

// The connect page's part of a search: the "Search" button, the found list, the dialog and
// the page's reactions to its buttons.
class CDeviceSearch : public CWizardSearch::Listener {
public:
    // `picked` receives the dotted address the person chose with OK.
    CDeviceSearch(CWizardSearch& search, std::function<void(const std::string&)> picked);
    ~CDeviceSearch() override;

    // The "Search" button: empties the found list and starts a search; when it started, any
    // open dialog is replaced by a new one. False when the search was refused.
    bool Search();

    // The open dialog, or null.
    CSelectDevice* Dialog() { return m_dialog.get(); }
    // Addresses found by the current search (network byte order, arrival order).
    const std::vector<std::uint32_t>& FoundList() const { return m_found; }

    void OnGatewayFound(std::uint32_t address) override;
    void OnSearchFinished(const std::vector<std::uint32_t>& sorted) override;

private:
    void OnRefresh();
    // The dialog closed itself: it is kept until the next search (its button handler is
    // still running) but no longer offered as Dialog().
    void Close();

    CWizardSearch& m_search;
    std::function<void(const std::string&)> m_picked;
    std::unique_ptr<CSelectDevice> m_dialog;
    std::unique_ptr<CSelectDevice> m_closed;
    std::vector<std::uint32_t> m_found;
};

}  // namespace vorn
