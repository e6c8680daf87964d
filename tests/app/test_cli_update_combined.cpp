// `vornupdater update PACKAGE.cssu` in-process against the simulator that runs gateway scripts.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/cli/Cli.h"
#include "lib/StringTable.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

// A terminal that answers the questions from a list.
class ScriptedTerminal : public CliTerminal {
public:
    std::deque<std::string> answers;
    std::vector<std::string> prompts;
    bool Available() const override { return true; }
    std::optional<std::string> ReadLine(const std::string& prompt, bool) override {
        prompts.push_back(prompt);
        if (answers.empty())
            return std::nullopt;
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }
};

class CliUpdateCombined : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        fs::create_directories(Prog());
        SetProgramFolderForTests(Prog());
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
        for (const char* script : {"updhistory.sh", "bakcfgsh", "prercovcfgsh", "rcovcfgsh"}) {
            fs::create_directories(Prog() / "bin");
            fs::copy_file(fs::path(VORN_SOURCE_DIR) / "helper-scripts" / "gateway" / script,
                          Prog() / "bin" / script);
        }
        Write(Dir() / "pw", "admin\n");
        ::unsetenv("VORN_PASSWORD");
        GatewaySimConfig cfg;
        cfg.root = Dir() / "root";
        cfg.rebootRefuseMs = 0;
        m_sim = std::make_unique<CGatewaySim>(cfg);
        AddScriptCommands(*m_sim);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    void TearDown() override {
        m_sim->Stop();
        SetProgramFolderForTests({});
    }
    fs::path Dir() const { return m_dir.path().toStdString(); }
    fs::path Prog() const { return Dir() / "prog"; }
    static void Write(const fs::path& p, const std::string& data) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << data;
    }
    std::string Build(const std::string& name, const std::map<std::string, std::string>& members) {
        const fs::path src = Dir() / (name + ".d");
        for (const auto& [m, data] : members) Write(src / m, data);
        std::string error;
        EXPECT_TRUE(BuildPackage(src.string(), (Dir() / name).string(), "", error)) << error;
        return (Dir() / name).string();
    }
    std::string Member(bool restart) {
        std::ifstream in(
            Build("m1.ssu", {{"appversion", "KELMORA GW V301\n"},
                             {"cfgversion", "KELMORA GW V300R001\n"},
                             {"apppre", "#!/bin/sh\n"},
                             {"app1", "image\n"},
                             {"appsh1", "#!/bin/sh\n"},
                             {"package.conf", std::string("[restart]\nneedrestart = ") +
                                                  (restart ? "Yes" : "No") + "\n"}}),
            std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int Run(std::vector<std::string> line, CliTerminal& terminal) {
        line.insert(line.end(), {"-g", "127.0.0.1:" + std::to_string(m_sim->Port()),
                                 "--password-file", (Dir() / "pw").string()});
        m_out.str("");
        m_err.str("");
        CliEnvironment env{m_out, m_err, terminal, false};
        return RunCli(line, env);
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> v;
        for (const std::string& t : m_sim->ReceivedTexts()) {
            if (t.rfind("excute\ncmd:", 0) == 0)
                v.push_back(t.substr(11, t.size() - 12));
        }
        return v;
    }
    bool Out(const std::string& text) const { return m_out.str().find(text) != std::string::npos; }

    QTemporaryDir m_dir;
    std::unique_ptr<CGatewaySim> m_sim;
    std::ostringstream m_out, m_err;
    CNoTerminal m_noTerminal;
};

TEST_F(CliUpdateCombined, PackageAndScriptWithYes) {
    const std::string pkg =
        Build("pack.cssu", {{"upgrade.conf",
                             "[Total]\ncount=2\n[1]\ntype=1\nname=m1.ssu\nappversion=V301\n[2]"
                             "\ntype=3\nname=post.sh\n"},
                            {"readme.txt", "Combined tips.\n"},
                            {"m1.ssu", Member(true)},
                            {"post.sh", "#!/bin/sh\n"}});
    ASSERT_EQ(Run({"update", pkg, "--yes"}, m_noTerminal), kExitOk) << m_out.str() << m_err.str();
    EXPECT_TRUE(Out("1. m1.ssu (version: V301)\n")) << m_out.str();  // the plan
    EXPECT_TRUE(Out("2. Execute script post.sh.\n"));
    EXPECT_TRUE(Out("-> yes\n"));  // the confirmation
    EXPECT_TRUE(Out("Updating 1/2. Please wait...\n"));
    EXPECT_TRUE(Out("Updating 2/2. Please wait...\n"));
    EXPECT_TRUE(Out(LoadStr(6585)));
    const std::vector<std::string> cmds = Commands();
    ASSERT_FALSE(cmds.empty());
    EXPECT_EQ(cmds.back(), "reboot");  // the member asked for it: once, at the very end
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "reboot"), 1);
}

TEST_F(CliUpdateCombined, FactoryQuestionOnTheTerminal) {
    // The current package, whose defaults the factory member restores.
    const std::string current = Build("current.ssu", {{"appversion", "KELMORA GW V300R001\n"},
                                                      {"cfgversion", "KELMORA GW V299\n"},
                                                      {"apppre", "#!/bin/sh\n"},
                                                      {"cfgpre", "#!/bin/sh\n"},
                                                      {"cfg", "defaults\n"},
                                                      {"cfgsh", "#!/bin/sh\n"}});
    fs::create_directories(Prog() / "curpkg");
    fs::copy_file(current, Prog() / "curpkg" / "current.ssu");
    const std::string pkg =
        Build("factory.cssu", {{"upgrade.conf", "[Total]\ncount=1\n[1]\ntype=2\n"}});
    ScriptedTerminal terminal;
    terminal.answers = {"y", "n"};  // confirm the update, refuse the factory-defaults question
    EXPECT_EQ(Run({"update", pkg}, terminal), kExitFailed) << m_out.str();
    ASSERT_EQ(terminal.prompts.size(), 2u);
    EXPECT_NE(terminal.prompts[1].find("Are you sure to restore configurations"),
              std::string::npos);
    EXPECT_TRUE(Out(LoadStr(6584)));
    for (const std::string& c : Commands()) EXPECT_EQ(c.find("cfg"), std::string::npos) << c;
}

TEST_F(CliUpdateCombined, RefusalsBeforeAnythingIsSent) {
    const std::string pkg = Build(
        "one.cssu",
        {{"upgrade.conf", "[Total]\ncount=1\n[1]\ntype=3\nname=a.sh\n"}, {"a.sh", "#!/bin/sh\n"}});
    // No --yes and no terminal: the confirmation is No.
    EXPECT_EQ(Run({"update", pkg}, m_noTerminal), kExitFailed);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Run({"update", pkg, "--yes", "--pre-check"}, m_noTerminal), kExitUsage);
    EXPECT_NE(m_err.str().find("applies to single packages"), std::string::npos);
    EXPECT_TRUE(Commands().empty());
}

}  // namespace
}  // namespace vorn::cli
