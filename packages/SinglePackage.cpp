#include "packages/SinglePackage.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "lib/ConfSectionReader.h"
#include "lib/ConsoleRecorder.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/VersionRules.h"
#include "platform/DataFile.h"
#include "platform/FileUtil.h"
#include "platform/ProfileString.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::string Trim(const std::string& s, const char* ws = " \t\r\n") {
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

// "*.ssu" files of a working folder, by name.
std::vector<fs::path> PackagesIn(const std::string& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(WorkPath("", folder), ec)) {
        if (e.path().extension() == ".ssu" && e.is_regular_file(ec)) {
            out.push_back(e.path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Creation time (birth time where the file system keeps it, else the last write, which is
// the copy into the store) in nanoseconds.
long long CreationNs(const fs::path& p) {
    struct statx sx {};
    if (::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) == 0) {
        const auto& t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    }
    return 0;
}

bool SamePath(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) {
        return true;
    }
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// Move with a copy fallback across file systems.
bool MoveFile(const fs::path& from, const fs::path& to, std::error_code& ec) {
    if (MoveReplace(from, to, &ec)) {
        return true;
    }
    if (!CopyDataFile(from, to, ec)) {
        return false;
    }
    fs::remove(from, ec);
    return !ec;
}

void FailUpdatePage(Operator& op, const std::string& text) {
    op.AppendConsole(text, kRed);
    op.NotifyUpdatePage(kUpdateError, text);
    op.NotifyUpdatePage(kUpdateFinal, "FAILED:");
}

}  // namespace

bool ReadVersionMember(const std::string& path, bool trimLeading, std::string& version) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string text(2048, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    text = text.substr(0, text.find('\0'));
    if (trimLeading) {
        size_t b = text.find_first_not_of(" \t\r\n\v\f");
        text = b == std::string::npos ? std::string() : text.substr(b);
    }
    size_t nl = text.find('\n');
    version = (nl != std::string::npos && nl >= 1) ? text.substr(0, nl) : text;
    return true;
}

void ShowUpdateTips(PackageState& state, Operator& op, PackageKind kind) {
    const std::string folder = kind == PackageKind::Single ? "unpkg" : "compose_unpkg";
    std::ifstream in(WorkPath("readme.txt", folder), std::ios::binary);
    if (!in) {
        return;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    op.AppendConsole(text, kGrey);
    op.AppendConsole("\n", kGrey);
    state.m_updateTips += text;
}

bool LoadPackageFromPath(PackageState& state, Operator& op, const std::string& path,
                         PackageKind kind) {
    if (kind == PackageKind::Combined) {
        return LoadCombinedPackageFromPath(state, op, path);
    }
    const std::string fileName = PackageFileName(path);
    {
        CStageTimer t("load: envelope check");
        if (!CheckSinglePackageEnvelope(state, op, path, fileName)) {
            return false;
        }
    }
    const std::string body = WorkPath(fileName, "tmp").string();
    CStageTimer members("load: members");
    if (!ExtractMemberSet(PackageKind::Single, body)) {
        LogWrite("Obtain single file error.try extract files.", kLogWarn);
        if (!ExtractWholePackage(state, op, body, "unpkg")) {
            return false;
        }
    }
    const std::string member = WorkPath("appversion", "unpkg").string();
    std::string version;
    if (!ReadVersionMember(member, true, version)) {
        op.AppendConsole(StrPrintf("Get appversion from package failed!(%s)\r\n", member.c_str()),
                         kRed);
        return false;
    }
    state.m_packageVersion = NormalizeVendorName(version);
    op.AppendConsole(FormatStr(6528, state.m_packageVersion.c_str()), kBlack);

    state.m_needRestart = 1;
    ConfSectionReader conf;
    if (conf.Load(WorkPath("package.conf", "unpkg").string()) &&
        AsciiLower(conf.Get("restart", "needrestart")) == "no") {
        state.m_needRestart = 0;
    }
    std::string notice = LoadStr(state.m_needRestart ? 6556 : 6557);
    op.AppendConsole(notice, kBlack);
    state.m_updateTips += notice;
    ShowUpdateTips(state, op, PackageKind::Single);
    return true;
}

bool LoadLocalPackage(PackageState& state, Operator& op, CPackageHost& host,
                      const std::string& path) {
    if (IsCombinedPackage(path)) {
        return LoadLocalCombinedPackage(state, op, host, path);
    }
    state.m_updateTips.clear();
    state.m_packagePath = path;
    ClearWorkFolder("compose_pkg");
    ClearWorkFolder("compose_unpkg");
    ClearWorkFolder("unpkg");
    if (!LoadPackageFromPath(state, op, path, PackageKind::Single)) {
        ClearWorkFolder("curpkg");
        ClearWorkFolder("oldpkg");
        op.AppendConsole(LoadStr(6739), kRed);
        host.SendToLoadPage("FAILEDLOAD:" + state.m_lastErrorText);
        state.m_updateTips.clear();
        return false;
    }
    return FinishLocalLoad(state, op, host);
}

bool FinishLocalLoad(PackageState& state, Operator& op, CPackageHost& host) {
    if (!state.m_updateTips.empty() &&
        !host.ShowUpdateTipsDialog(state.m_updateTips, host.GatewayVersion(),
                                   state.m_packageVersion)) {
        return false;
    }
    if (host.OperationInProgress()) {
        std::string text = LoadStr(6553);
        op.AppendConsole(text, kRed);
        host.SendToLoadPage("FAILED:" + text);
        return false;
    }
    host.SendToLoadPage("SUCCEED:");
    host.StartUpdateTimer();
    return true;
}

void PruneOldPackages() {
    std::vector<std::pair<long long, fs::path>> files;
    for (const auto& p : PackagesIn("oldpkg")) {
        files.emplace_back(CreationNs(p), p);
    }
    std::sort(files.begin(), files.end());
    size_t i = 0;
    while (files.size() - i > 3) {
        const fs::path& p = files[i++].second;
        ClearReadOnly(p);
        std::error_code ec;
        if (!fs::remove(p, ec) || ec) {
            LogWrite(StrPrintf("delete file %s failed, the massage: ", p.c_str()) + ec.message(),
                     kLogWarn);
        }
    }
}

StoreResult StorePackage(const std::string& selectedPath) {
    StoreResult result;
    const fs::path selected(selectedPath);
    for (const auto& p : PackagesIn("curpkg")) {
        result.previous = p.filename().string();
        if (SamePath(p, selected)) {
            continue;
        }
        ClearReadOnly(p);
        std::error_code ec;
        fs::path target = WorkPath(p.filename().string(), "oldpkg");
        if (!MoveFile(p, target, ec)) {
            LogWrite("move " + p.string() + " to " + target.string() + " failed: " + ec.message(),
                     kLogWarn);
        }
        if (fs::exists(p, ec) && !fs::remove(p, ec)) {
            LogWrite("delete " + p.string() + " failed: " + ec.message(), kLogWarn);
        }
    }
    PruneOldPackages();
    const fs::path target = WorkPath(selected.filename().string(), "curpkg");
    if (!SamePath(selected, target)) {
        std::error_code ec;
        if (!CopyDataFile(selected, target, ec)) {
            result.error = ec.value() ? ec.value() : EIO;
            result.errorText = FormatStr(6749, Trim(SystemErrorText(ec.value()), " ").c_str());
            LogWrite(result.errorText, kLogError);
            LogWrite(selected.string(), kLogError);
            LogWrite(target.string(), kLogError);
            return result;
        }
    }
    ClearReadOnly(target);
    return result;
}

bool PackageNeedsRestart() {
    std::string value = GetProfileString("restart", "needrestart", "yes", 10,
                                         WorkPath("package.conf", "unpkg").string());
    value.erase(std::remove(value.begin(), value.end(), ' '), value.end());
    return AsciiLower(value) != "no";
}

bool LoadCurrentSinglePackage(PackageState& state, Operator& op, bool combinedUpdateRunning,
                              std::string& appVersion, std::string& cfgVersion,
                              std::string& fileName) {
    ClearWorkFolder("tmp");
    ClearWorkFolder("unpkg");
    auto packages = PackagesIn("curpkg");
    if (packages.empty()) {
        op.AppendConsole("Find no file named *.ssu\r\n", kRed);
        return false;
    }
    fileName = packages.front().filename().string();
    const std::string package = packages.front().string();
    // The check's verdict does not stop this load (the package was verified when it was
    // loaded), so the extraction need not wait for it: it reads the archive behind the flag in
    // the stored package itself, on a second thread, and the check only digests (a body copy
    // in "tmp" would be read by no one and deleted below). The extraction's messages and error
    // text follow the check's, as when one ran after the other.
    CConsoleRecorder extractionOutput;
    PackageState extractionState;
    bool extracted = false;
    std::thread extraction([&] {
        CStageTimer t("update: whole extraction");
        extracted = ExtractWholePackage(extractionState, extractionOutput, package, "unpkg");
    });
    {
        CStageTimer t("update: envelope check");
        CheckSinglePackageEnvelope(state, op, package, fileName, false);
    }
    extraction.join();
    extractionOutput.Replay(op);
    if (!extractionState.m_lastErrorText.empty()) {
        state.m_lastErrorText = extractionState.m_lastErrorText;
    }
    if (!extracted) {
        return false;
    }
    for (auto [member, out] : {std::pair<const char*, std::string*>{"appversion", &appVersion},
                               {"cfgversion", &cfgVersion}}) {
        const std::string path = WorkPath(member, "unpkg").string();
        if (!ReadVersionMember(path, false, *out)) {
            op.AppendConsole(StrPrintf("Get %s from package failed!(%s)\r\n", member, path.c_str()),
                             kRed);
            return false;
        }
    }
    if (combinedUpdateRunning && state.m_needRestart == 0 && PackageNeedsRestart()) {
        state.m_needRestart = 1;
    }
    ClearWorkFolder("tmp");
    return true;
}

bool LoadSinglePackageForUpdate(PackageState& state, Operator& op, CPackageHost& host,
                                const std::string& path, const std::string& fileName) {
    // Outside a combined update the tips of the user's load (restart notice, readme) stay:
    // the confirmation when the update starts is where the operator reads them.
    if (host.CombinedUpdateRunning()) {
        state.m_updateTips.clear();
    }
    StoreResult stored;
    {
        CStageTimer t("update: store package");
        stored = StorePackage(path);
    }
    if (stored.error != 0) {
        op.AppendConsole(stored.errorText, kRed);
        LogWrite(stored.errorText, kLogError);
        op.NotifyUpdatePage(kUpdateError, stored.errorText + LoadStr(6750));
        op.NotifyUpdatePage(kUpdateFinal, "FAILED:");
        return false;
    }
    LogWrite("UnPack " + path, kLogInfo);
    std::string appVersion, cfgVersion, currentName;
    if (LoadCurrentSinglePackage(state, op, host.CombinedUpdateRunning(), appVersion, cfgVersion,
                                 currentName)) {
        std::string text = FormatStr(6531, appVersion.c_str());
        op.NotifyUpdatePage(kUpdateDetail, text);
        op.AppendConsole(text, kBlack);
        state.m_updateTips += text;
        state.m_packageFileName = fileName;
        state.m_packageVersion = appVersion;
        state.m_cfgVersion = cfgVersion;
        return true;
    }
    std::string text = LoadStr(6530);
    LogWrite(text, kLogError);
    FailUpdatePage(op, text);
    // Roll back: the new package leaves "curpkg", the previous one returns from "oldpkg".
    std::error_code ec;
    const fs::path added = WorkPath(fs::path(path).filename().string(), "curpkg");
    if (!SamePath(fs::path(path), added) || stored.previous != added.filename().string()) {
        fs::remove(added, ec);
    }
    if (!stored.previous.empty()) {
        fs::path old = WorkPath(stored.previous, "oldpkg");
        if (fs::exists(old, ec) && !MoveFile(old, WorkPath(stored.previous, "curpkg"), ec)) {
            LogWrite("restore " + old.string() + " failed: " + ec.message(), kLogWarn);
        }
    }
    return false;
}

bool CheckPackageForDevice(PackageState& state, Operator& op, CPackageHost& host) {
    if (state.m_packageVersion.find("ignore-plat") == std::string::npos &&
        ClassifyVersion(state.m_packageVersion).layoutFlag != host.GatewayLayoutFlag()) {
        FailUpdatePage(op, LoadStr(6536));
        return false;
    }
    if (!UpdateFromCurrentVersionAllowed(host.GatewayVersionReport())) {
        FailUpdatePage(op, LoadStr(6559));
        return false;
    }
    return true;
}

}  // namespace vorn
