#pragma once
// The fleet tests' stage: a temporary program folder, simulated gateways on 127.0.0.1, the
// real program run against them, packages built on the fly, and the report read back. The
// fleet's run folders go to a TMPDIR of the test's own, so a test sees what a run leaves there.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/FleetProcess.h"
#include "lib/StringTable.h"
#include "packages/BackupFile.h"
#include "packages/ZipBridgeLoader.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::test {

inline void Write(const std::filesystem::path& p, const std::string& data) {
    std::filesystem::create_directories(p.parent_path());
    WriteFile(p, data);
}

inline std::string Read(const std::filesystem::path& p) {
    return ReadFile(p);
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

}  // namespace vorn::test

namespace vorn::cli {

struct ProgramRun {
    int code = -1;
    std::string out, err;
};

class FleetRun : public ::testing::Test {
protected:
    using Path = std::filesystem::path;

    void SetUp() override {
        SetLanguage(Language::English);
        ASSERT_TRUE(m_home.valid() && m_dir.isValid());
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error)) << error;  // the one of the program folder
        InstallHelperScripts(m_home);
        std::filesystem::create_directory(TempDir());
    }
    void TearDown() override {
        for (auto& s : m_sims) s->Stop();
    }
    Path Dir() const { return m_dir.path().toStdString(); }
    // The TMPDIR of the programs the test runs.
    Path TempDir() const { return Dir() / "t"; }

    static void InstallHelperScripts(const test::TempProgramFolder& home) {
        for (const char* folder : {"arm_bin", "bin", "bin_harddisk"}) {
            std::filesystem::copy(test::DistStartupFolder() / folder, home / folder,
                                  std::filesystem::copy_options::recursive);
        }
    }

    CGatewaySim& AddSim(const std::string& marker,
                        std::function<void(GatewaySimConfig&)> tune = {}) {
        GatewaySimConfig cfg;
        cfg.root = Dir() / ("root-" + marker);
        cfg.rebootRefuseMs = 300;
        if (tune)
            tune(cfg);
        m_sims.push_back(std::make_unique<CGatewaySim>(cfg));
        AddScriptCommands(*m_sims.back());
        EXPECT_TRUE(m_sims.back()->Start()) << m_sims.back()->LastError();
        // The automatic backup of a "switch_" package carries this: it shows whose folder
        // a backup reached.
        test::Write(m_sims.back()->LocalPath("/config/cfgversion"), "KELMORA GW " + marker + "\n");
        return *m_sims.back();
    }
    static std::string Addr(const CGatewaySim& sim) {
        return "127.0.0.1:" + std::to_string(sim.Port());
    }
    std::string Package(const std::string& name, std::size_t imageBytes) {
        const Path folder = Dir() / (name + ".d");
        const std::map<std::string, std::string> m = {
            {"appversion", "KELMORA GW V301\n"},
            {"cfgversion", "KELMORA GW V300R001\n"},
            {"apppre", "#!/bin/sh\n"},
            {"app1", "#sim: version KELMORA GW V301\n" + std::string(imageBytes, 'i')},
            {"appsh1", "#!/bin/sh\n"},
            {"cfgpre", "#!/bin/sh\n"},
            {"cfg", "hostname=factory\n"},
            {"cfgsh", "#!/bin/sh\n"},
        };
        for (const auto& [member, data] : m) test::Write(folder / member, data);
        const std::string out = (Dir() / name).string();
        std::string error;
        EXPECT_TRUE(BuildPackage(folder.string(), out, "", error)) << error;
        return out;
    }
    QProcessEnvironment Env(const test::TempProgramFolder& home) const {
        QProcessEnvironment env = home.Environment();
        env.insert("VORN_NO_TTY", "1");
        env.insert("VORN_PASSWORD", "admin");
        env.insert("TMPDIR", QString::fromStdString(TempDir().string()));
        return env;
    }
    ProgramRun Run(const QStringList& args, const test::TempProgramFolder& home) {
        QProcess p;
        p.setProcessEnvironment(Env(home));
        p.start(VORN_UPDATER_PROGRAM, args);
        ProgramRun r;
        if (!p.waitForFinished(600000)) {
            p.kill();
            p.waitForFinished();
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    // Run with arguments passed as bytes (a QStringList cannot hold bytes that are not UTF-8).
    ProgramRun RunBytes(const std::vector<std::string>& args, const test::TempProgramFolder& home) {
        CWorkerProcess p;
        const Path out = Dir() / "bytes.out", err = Dir() / "bytes.err";
        std::filesystem::remove(out);
        std::filesystem::remove(err);
        const std::string error =
            p.Start(VORN_UPDATER_PROGRAM, args,
                    {{"VORN_HOME", home.path().string()}, {"VORN_LANG", "en"},
                     {"VORN_NO_TTY", "1"}, {"VORN_PASSWORD", "admin"},
                     {"TMPDIR", TempDir().string()}},
                    Dir(), out, err);
        EXPECT_EQ(error, "");
        while (p.Running()) QThread::msleep(20);
        return {p.ExitCode(), test::Read(out), test::Read(err)};
    }
    // The program started in a process group of its own (as a shell starts a command), for a
    // test that signals it while it runs.
    std::unique_ptr<QProcess> Start(const QStringList& args, const test::TempProgramFolder& home) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Env(home));
        p->setChildProcessModifier([] { ::setpgid(0, 0); });
        p->start(VORN_UPDATER_PROGRAM, args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    static QJsonObject ReportOf(const Path& file) {
        const std::string text = test::Read(file);
        return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
    }
    static std::map<std::string, QJsonObject> ByGateway(const QJsonObject& report) {
        std::map<std::string, QJsonObject> out;
        for (const auto& v : report.value("gateways").toArray())
            out[v.toObject().value("gateway").toString().toStdString()] = v.toObject();
        return out;
    }
    // Every message and every run of file bytes a gateway received, in order.
    static std::vector<std::string> Transcript(const CGatewaySim& sim) {
        std::vector<std::string> lines;
        for (const SimTranscriptEntry& e : sim.Transcript()) {
            lines.push_back(e.binary ? "bytes " + std::to_string(e.bytes) : e.text);
        }
        return lines;
    }
    // What a single `update` of `pkg` sends, from an installation of its own.
    std::vector<std::string> SingleUpdateTranscript(const std::string& pkg,
                                                    const QStringList& extra = {}) {
        CGatewaySim& reference = AddSim("ref" + std::to_string(m_sims.size()));
        test::TempProgramFolder refHome;
        InstallHelperScripts(refHome);
        const ProgramRun single =
            Run(QStringList{"update", QString::fromStdString(pkg), "-g",
                            QString::fromStdString(Addr(reference)), "--yes"} +
                    extra,
                refHome);
        EXPECT_EQ(single.code, 0) << single.out << single.err;
        SetProgramFolderForTests(m_home.path());  // refHome pinned its own folder
        return Transcript(reference);
    }
    // The saved versions of the backups in a folder (each must verify).
    static std::multiset<std::string> BackupVersions(const Path& folder) {
        std::multiset<std::string> saved;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            std::string version;
            EXPECT_TRUE(VerifyBackupFile(e.path().string(), version)) << e.path();
            saved.insert(version);
        }
        return saved;
    }
    static std::vector<std::string> Names(const Path& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempProgramFolder m_home;
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<CGatewaySim>> m_sims;
};

}  // namespace vorn::cli
