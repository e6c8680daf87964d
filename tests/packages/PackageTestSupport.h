#pragma once
// Shared pieces of the package tests: a temporary program folder with the archive component
// loaded, a recording Operator and package host, and package builders (our writer and
// Info-ZIP's zip).
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "lib/Operator.h"
#include "lib/WorkFolders.h"
#include "packages/CPackageHost.h"
#include "packages/PackageState.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"
#include "tests/common/RecordingOperator.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::test {

namespace fs = std::filesystem;

class RecordingHost : public CPackageHost {
public:
    bool busy = false;
    bool combinedRunning = false;
    bool acceptTips = true;
    std::string gatewayVersion = "KELMORA-GW-2100 V5.2.1";
    std::string versionReport = "KELMORA-GW-2100 V5.2.1\n";
    int layoutFlag = 1;
    std::vector<std::string> pageTexts;
    std::vector<std::string> tipsShown;
    std::vector<std::string> loaderPaths;
    int timerStarts = 0;

    bool OperationInProgress() const override { return busy; }
    bool CombinedUpdateRunning() const override { return combinedRunning; }
    std::string GatewayVersion() const override { return gatewayVersion; }
    std::string GatewayVersionReport() const override { return versionReport; }
    int GatewayLayoutFlag() const override { return layoutFlag; }
    bool ShowUpdateTipsDialog(const std::string& tips, const std::string&,
                              const std::string&) override {
        tipsShown.push_back(tips);
        return acceptTips;
    }
    void SendToLoadPage(const std::string& text) override { pageTexts.push_back(text); }
    void StartUpdateTimer() override { ++timerStarts; }
    void StartSinglePackageLoader(const std::string& path) override { loaderPaths.push_back(path); }
};

inline std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

// Runs a program without a shell; returns its exit code (-1 when it did not run).
inline int RunTool(const QString& program, const QStringList& args, const QString& cwd = {},
                   std::string* output = nullptr) {
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (output)
        *output = p.readAll().toStdString();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

class PackageTest : public ::testing::Test {
protected:
    QTemporaryDir home;  // program folder
    QTemporaryDir work;  // where packages are built
    RecordingOperator op;
    RecordingHost host;
    PackageState state;

    void SetUp() override {
        ASSERT_TRUE(home.isValid() && work.isValid());
        SetProgramFolderForTests(home.path().toStdString());
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
    }
    void TearDown() override { SetProgramFolderForTests({}); }

    fs::path Home() const { return home.path().toStdString(); }
    fs::path Work() const { return work.path().toStdString(); }
    fs::path Folder(const std::string& name) const { return Home() / name; }

    // Writes the members into a fresh folder under the build area.
    fs::path MakeFolder(const std::string& name,
                        const std::map<std::string, std::string>& members) {
        fs::path dir = Work() / name;
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const auto& [member, data] : members) WriteFile(dir / member, data);
        return dir;
    }

    // A package file built by our writer (".ssu", ".cssu" or ".bcf" by the name).
    std::string MakePackage(const std::string& file,
                            const std::map<std::string, std::string>& members,
                            const std::string& password = "") {
        fs::path dir = MakeFolder(file + ".d", members);
        std::string out = (Work() / file).string();
        std::string error;
        EXPECT_TRUE(BuildPackage(dir.string(), out, password, error)) << error;
        return out;
    }

    // An archive body made by Info-ZIP's zip with a password, wrapped in an envelope.
    std::string MakeWithInfoZip(const std::string& file,
                                const std::map<std::string, std::string>& members,
                                const std::string& password) {
        fs::path dir = MakeFolder(file + ".d", members);
        std::string body = (Work() / (file + ".zip")).string();
        QStringList args{"-q", "-X", "-P", Q(password), Q(body)};
        for (const auto& [member, data] : members) args << Q(member);
        EXPECT_EQ(RunTool("zip", args, Q(dir.string())), 0);
        std::string out = (Work() / file).string();
        std::string error;
        bool combined = file.size() > 5 && file.substr(file.size() - 5) == ".cssu";
        EXPECT_TRUE(combined ? WriteCombinedEnvelope(body, out, error)
                             : WriteSingleEnvelope(body, out, error))
            << error;
        return out;
    }
};

}  // namespace vorn::test
