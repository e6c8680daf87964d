// Envelope checks and header recognition on arbitrary package files.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz/FuzzProgramFolder.h"
#include "lib/Operator.h"
#include "packages/Envelope.h"
#include "packages/PackageState.h"

namespace {

class NullOperator : public vorn::Operator {
public:
    void AppendConsole(const std::string&, std::uint32_t) override {}
    void SetProgressAnchor() override {}
    void ReplaceProgress(const std::string&, std::uint32_t) override {}
    void SetWindowTitle(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    bool AskOkCancel(const std::string&) override { return false; }
    void ShowMessage(const std::string&) override {}
    std::optional<std::string> AskText(const std::string&, bool) override { return std::nullopt; }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    bool ChooseDevice(int&, int&) override { return false; }
    void NotifyWizard(int, const std::string&) override {}
    int NotifyUpdatePage(int, const std::string&) override { return -1; }
    int NotifyCheckPage(int, const std::string&) override { return -1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& home = vorn::fuzz::ScratchFolder();
    const std::string path = (home / "input.pkg").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    NullOperator op;
    vorn::PackageState state;
    vorn::CheckSinglePackageEnvelope(state, op, path, "body.ssu");
    vorn::CheckCombinedPackageEnvelope(state, op, path, "body.cssu");
    vorn::HasCombinedHeader(path);
    return 0;
}
