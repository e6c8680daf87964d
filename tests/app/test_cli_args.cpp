// Argument parsing of vornupdater: options, gateway address, password sources.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/cli/Cli.h"

namespace vorn::cli {
namespace {

TEST(CliArgs, GatewayAddressAndPort) {
    struct Case {
        const char* text;
        bool ok;
        const char* address;
        std::uint16_t port;
    } cases[] = {
        {"127.0.0.1", true, "127.0.0.1", 51111},
        {"10.1.2.3:2000", true, "10.1.2.3", 2000},
        {"127.0.0.1:0", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:", false, "", 0},
        {"127.0.0.1:12a", false, "", 0},
        {"gateway.local", false, "", 0},
        {"", false, "", 0},
        {"1.2.3", false, "", 0},
    };
    for (const Case& c : cases) {
        std::string address;
        std::uint16_t port = 0;
        const std::string error = ParseGateway(c.text, address, port);
        EXPECT_EQ(error.empty(), c.ok) << c.text << ": " << error;
        if (c.ok) {
            EXPECT_EQ(address, c.address);
            EXPECT_EQ(port, c.port);
        }
    }
}

TEST(CliArgs, OptionsValuesFlagsAndPositionals) {
    CliArgs a;
    EXPECT_EQ(ParseArgs({"-g", "1.2.3.4", "--json", "local", "--password-file=pw", "remote"},
                        CommonOptions(), a),
              "");
    EXPECT_EQ(a.Value("gateway"), "1.2.3.4");
    EXPECT_EQ(a.Value("password-file"), "pw");
    EXPECT_TRUE(a.Has("json"));
    EXPECT_EQ(a.positional, (std::vector<std::string>{"local", "remote"}));

    CliArgs b;
    EXPECT_NE(ParseArgs({"--password", "secret"}, CommonOptions(), b), "");  // no such option
    CliArgs c;
    EXPECT_NE(ParseArgs({"-g"}, CommonOptions(), c), "");  // value missing
    CliArgs d;
    EXPECT_NE(ParseArgs({"--yes=1"}, CommonOptions(), d), "");
}

TEST(CliArgs, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> lines = {
        {"frobnicate"},
        {"connect"},                              // no gateway
        {"connect", "-g", "127.0.0.1", "extra"},  // no arguments taken
        {"connect", "-g", "127.0.0.1", "--bogus"},
        {"connect", "-g", "127.0.0.1:99999", "--password-file", "/dev/null"},
        {"connect", "-g", "127.0.0.1", "--model", "1"},  // series missing
        {"put", "-g", "127.0.0.1", "onlyone"},
        {"exec", "-g", "127.0.0.1"},
        {"passwd", "-g", "127.0.0.1", "--password-file", "/dev/null"},  // no new password
        {"exec", "ls\ncmd:reboot", "-g", "127.0.0.1"},            // would add a line to the message
        {"get", std::string(1200, 'a'), "x", "-g", "127.0.0.1"},  // longer than one frame
    };
    for (const auto& line : lines) {
        std::ostringstream out, err;
        CNoTerminal terminal;
        CliEnvironment env{out, err, terminal};
        EXPECT_EQ(RunCli(line, env), kExitUsage) << line[0] << " " << line.size();
        EXPECT_FALSE(err.str().empty());
    }
}

TEST(CliArgs, UsageErrorsInJsonModeEndWithAnExitLine) {
    std::ostringstream out, err;
    CNoTerminal terminal;
    CliEnvironment env{out, err, terminal};
    ::unsetenv("VORN_PASSWORD");
    EXPECT_EQ(RunCli({"connect", "--json", "-g", "bad"}, env), kExitUsage);
    EXPECT_NE(out.str().find("\"type\":\"exit\""), std::string::npos) << out.str();
    out.str("");
    EXPECT_EQ(RunCli({"connect", "--json", "-g", "127.0.0.1"}, env), kExitUsage);  // no password
    EXPECT_NE(out.str().find("\"code\":2"), std::string::npos) << out.str();
}

TEST(CliArgs, HelpForTheProgramAndEveryCommand) {
    std::ostringstream out, err;
    CNoTerminal terminal;
    CliEnvironment env{out, err, terminal};
    EXPECT_EQ(RunCli({"--help"}, env), kExitOk);
    for (const CliCommand& c : CliCommands()) {
        EXPECT_NE(out.str().find(std::string("  ") + c.name), std::string::npos) << c.name;
        std::ostringstream o2;
        CliEnvironment env2{o2, err, terminal};
        EXPECT_EQ(RunCli({c.name, "--help"}, env2), kExitOk);
        EXPECT_NE(o2.str().find("--gateway"), std::string::npos);
        EXPECT_NE(o2.str().find("--json"), std::string::npos);
    }
}

TEST(CliArgs, PasswordSourcesInOrder) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("pw").toStdString();
    std::ofstream(file) << "from-file\r\nsecond line\n";
    CNoTerminal terminal;
    std::string error;

    ::setenv("VORN_PASSWORD", "from-env", 1);
    CliArgs withFile;
    withFile.values["password-file"] = file;
    EXPECT_EQ(GatewayPassword(withFile, terminal, error).value_or("?"), "from-file");
    CliArgs none;
    EXPECT_EQ(GatewayPassword(none, terminal, error).value_or("?"), "from-env");
    ::unsetenv("VORN_PASSWORD");
    EXPECT_FALSE(GatewayPassword(none, terminal, error).has_value());
    EXPECT_NE(error.find("--password-file"), std::string::npos);
    ::setenv("VORN_PASSWORD", "a\nflage:x", 1);
    EXPECT_FALSE(GatewayPassword(none, terminal, error).has_value());
    ::unsetenv("VORN_PASSWORD");
    CliArgs missing;
    missing.values["password-file"] = dir.filePath("absent").toStdString();
    EXPECT_FALSE(GatewayPassword(missing, terminal, error).has_value());
}

}  // namespace
}  // namespace vorn::cli
