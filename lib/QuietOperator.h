#pragma once
// An Operator that shows nothing and answers every question with No / Cancel. Headless users
// (package inspection, benchmarks, fuzz targets, tests) derive from it and override only what
// they need.
#include "lib/Operator.h"

namespace vorn {

class CQuietOperator : public Operator {
public:
    void AppendConsole(const std::string&, std::uint32_t) override {}
    void SetProgressAnchor() override {}
    void ReplaceProgress(const std::string&, std::uint32_t) override {}
    void SetWindowTitle(const std::string&) override {}
    bool OnAskYesNo(const std::string&) override { return false; }
    bool OnAskOkCancel(const std::string&) override { return false; }
    void ShowMessage(const std::string&) override {}
    std::optional<std::string> OnAskText(const std::string&, bool) override { return std::nullopt; }
    std::optional<std::string> OnChooseOpenFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> OnChooseSaveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    bool OnChooseDevice(int&, int&) override { return false; }
    void NotifyWizard(int, const std::string&) override {}
    int NotifyUpdatePage(int, const std::string&) override { return -1; }
    int NotifyCheckPage(int, const std::string&) override { return -1; }
};

}  // namespace vorn
