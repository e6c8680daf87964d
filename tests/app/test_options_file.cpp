// The options file: validity of the whole file, reader codes, setter codes, the stored proxy
// password, LoadOptions and the safe rewrite.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>

#include "app/LoadOptions.h"
#include "app/OptionsFile.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "link/CDES.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::English); }
    fs::path File() const { return m_dir / "updaterconf.ini"; }
    int LoadText(const std::string& text) {
        test::WriteFile(File(), text);
        return m_file.Load(File());
    }
    test::TempProgramFolder m_dir{false};
    COptionFile m_file;
};

TEST_F(OptionsTest, MissingFileGivesTheDefaults) {
    EXPECT_EQ(m_file.Load(File()), 1);
    std::string v = "stale";
    EXPECT_EQ(m_file.GetSavePackage(v), kOptionAbsent);
    EXPECT_EQ(v, "");
    EXPECT_EQ(m_file.GetUpdateServer(), kOptionAbsent);
    EXPECT_EQ(m_file.GetAutobakNum(), kOptionAbsent);
    OptionSettings o = LoadOptions(File());
    EXPECT_TRUE(o.savePackage);
    EXPECT_EQ(o.updateServer, 0);
    EXPECT_FALSE(o.useProxy);
    EXPECT_FALSE(o.needAuth);
    EXPECT_EQ(o.proxyIp, "");
    EXPECT_EQ(o.telcomServer, kDefaultTelcomServer);
    EXPECT_EQ(o.netcomServer, kDefaultNetcomServer);
}

TEST_F(OptionsTest, WholeFileValidity) {
    struct Case {
        const char* name;
        const char* text;
        int expected;
    } cases[] = {
        {"lower-case section, padded key",
         "[option_network_config]\n   proxy_port   =   8080  \n[ Auto_Bak ]\nANYTHING=1\n", 1},
        {"every key",
         "[OPTION_UPDATE_OPTION]\nSAVE_PACKAGE=no\n[OPTION_NETWORK_CONFIG]\n"
         "UPDATE_SERVER=1\nUSE_HTTP_PROXY=no\nPROXY_IP=1.2.3.4\nPROXY_PORT=80\n"
         "NEED_AUTH=no\nAUTH_USERNAME=u\nAUTH_PASSWORD=00\nTELCOM_SERVER=a\n"
         "NETCOM_SERVER=b\n[UPDATE_DEVICE]\nUPDATE_TYPE=local\n",
         1},
        {"unknown key", "[OPTION_NETWORK_CONFIG]\nHONGKONG_SERVER=x\n", 0},
        {"key of another section", "[OPTION_UPDATE_OPTION]\nPROXY_IP=1.2.3.4\n", 0},
        {"unknown section", "[OPTION_OTHER]\n", 0},
        {"empty file", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadText(c.text), c.expected);
    }
    fs::remove(File());
    fs::create_directory(File());
    EXPECT_EQ(m_file.Load(File()), 0);
}

TEST_F(OptionsTest, PaddedAndLowerCaseNamesAreRead) {
    ASSERT_EQ(LoadText("[ option_network_config ]\n  proxy_ip  =  10.1.2.3 \n proxy_port=080\n"
                       "USE_HTTP_PROXY = yes\n[option_update_option]\nsave_package = no\n"),
              1);
    std::string v;
    EXPECT_EQ(m_file.GetProxyIp(v), 0);
    EXPECT_EQ(v, "10.1.2.3");
    EXPECT_EQ(m_file.GetProxyPort(), 80);  // a leading zero in the file is read as the number
    OptionSettings o = LoadOptions(File());
    EXPECT_TRUE(o.useProxy);
    EXPECT_EQ(o.proxyIp, "10.1.2.3");
    EXPECT_EQ(o.proxyPort, "80");
    EXPECT_FALSE(o.savePackage);
}

TEST_F(OptionsTest, ReaderCodes) {
    ASSERT_EQ(LoadText("[OPTION_NETWORK_CONFIG]\nUPDATE_SERVER=7\nPROXY_IP=1.2.3.4.5\n"
                       "PROXY_PORT=65536\nAUTH_USERNAME=a:b\nAUTH_PASSWORD=XYZ\n"
                       "TELCOM_SERVER=" +
                       std::string(200, 'x') +
                       "\n"
                       "[UPDATE_DEVICE]\nUPDATE_TYPE=later\n[AUTO_BAK]\nAUTOBAK_NUM=-3\n"),
              1);
    std::string v = "stale";
    EXPECT_EQ(m_file.GetUpdateServer(), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetProxyIp(v), kOptionOutOfRange);
    EXPECT_EQ(v, "");
    EXPECT_EQ(m_file.GetProxyPort(), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetAuthUsername(v), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetAuthPassword(v), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetTelcomServer(v), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetNetcomServer(v), kOptionAbsent);
    EXPECT_EQ(m_file.GetUpdateType(v), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetAutobakNum(), kOptionOutOfRange);
    EXPECT_EQ(m_file.GetNeedAuth(v), kOptionAbsent);
    OptionSettings o = LoadOptions(File());
    EXPECT_EQ(o.updateServer, 0);
    EXPECT_FALSE(o.useProxy);
    EXPECT_EQ(o.telcomServer, kDefaultTelcomServer);
}

TEST_F(OptionsTest, SetterCodes) {
    m_file.Load(File());
    struct Case {
        const char* name;
        int (*set)(COptionFile&, const char*);
        const char* value;
        int expected;
    } cases[] = {
        {"port 80", [](COptionFile& f, const char* v) { return f.SetProxyPort(v); }, "80", 0},
        {"port 080", [](COptionFile& f, const char* v) { return f.SetProxyPort(v); }, "080", 16},
        {"port 65535", [](COptionFile& f, const char* v) { return f.SetProxyPort(v); }, "65535", 0},
        {"port 65536", [](COptionFile& f, const char* v) { return f.SetProxyPort(v); }, "65536",
         16},
        {"port 0", [](COptionFile& f, const char* v) { return f.SetProxyPort(v); }, "0", 16},
        {"port +80", [](COptionFile& f, const char* v) { return f.SetProxyPort(v); }, "+80", 16},
        {"ip full", [](COptionFile& f, const char* v) { return f.SetProxyIp(v); }, "10.0.0.1", 0},
        {"ip two dots", [](COptionFile& f, const char* v) { return f.SetProxyIp(v); }, "10.0.1",
         16},
        {"ip broadcast", [](COptionFile& f, const char* v) { return f.SetProxyIp(v); },
         "255.255.255.255", 16},
        {"save yes", [](COptionFile& f, const char* v) { return f.SetSavePackage(v); }, "yes", 0},
        {"save maybe", [](COptionFile& f, const char* v) { return f.SetSavePackage(v); }, "maybe",
         16},
        {"proxy no", [](COptionFile& f, const char* v) { return f.SetUseHttpProxy(v); }, "no", 0},
        {"proxy YES", [](COptionFile& f, const char* v) { return f.SetUseHttpProxy(v); }, "YES",
         16},
        {"auth yes", [](COptionFile& f, const char* v) { return f.SetNeedAuth(v); }, "yes", 0},
        {"type online", [](COptionFile& f, const char* v) { return f.SetUpdateType(v); }, "online",
         0},
        {"type other", [](COptionFile& f, const char* v) { return f.SetUpdateType(v); }, "usb", 16},
        {"password hex", [](COptionFile& f, const char* v) { return f.SetAuthPassword(v); },
         "00aaFF", 0},
        {"password not hex", [](COptionFile& f, const char* v) { return f.SetAuthPassword(v); },
         "00GG", 16},
        {"user", [](COptionFile& f, const char* v) { return f.SetAuthUsername(v); }, "operator", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.set(m_file, c.value), c.expected);
    }
    EXPECT_EQ(m_file.SetAuthPassword(std::string(514, 'A')), 16);
    EXPECT_EQ(m_file.SetUpdateServer(-1), 16);
    EXPECT_EQ(m_file.SetUpdateServer(2), 0);
    std::string v;
    EXPECT_EQ(m_file.GetProxyPort(), 65535);
    EXPECT_EQ(m_file.GetProxyIp(v), 0);
    EXPECT_EQ(v, "10.0.0.1");
}

TEST_F(OptionsTest, UsernameRefusalsGiveTheirReason) {
    m_file.Load(File());
    std::string reason;
    EXPECT_EQ(m_file.SetAuthUsername("dom:user", &reason), 16);
    EXPECT_EQ(reason,
              "Username cannot contain any of the following characters: \\ / : * ? < > | , ");
    reason.clear();
    EXPECT_EQ(m_file.SetAuthUsername(std::string(129, 'u'), &reason), 16);
    EXPECT_EQ(reason, "Username should not exceed 128 characters, ");
    // 43 three-byte characters are 129 bytes.
    std::string wide;
    for (int i = 0; i < 43; ++i) {
        wide += "\xe7\x94\xa8";
    }
    EXPECT_EQ(m_file.SetAuthUsername(wide, &reason), 16);
    EXPECT_EQ(m_file.SetAuthUsername(wide.substr(3), &reason), 0);
}

TEST_F(OptionsTest, EmptyProxyPasswordRoundTrips) {
    m_file.Load(File());
    std::string stored = EncodeStoredPassword("");
    EXPECT_EQ(stored.size(), 36u);  // 15 marker bytes: 2 + 16 enciphered bytes
    ASSERT_EQ(m_file.SetUseHttpProxy("yes"), 0);
    ASSERT_EQ(m_file.SetProxyIp("192.168.5.5"), 0);
    ASSERT_EQ(m_file.SetProxyPort("3128"), 0);
    ASSERT_EQ(m_file.SetNeedAuth("yes"), 0);
    ASSERT_EQ(m_file.SetAuthUsername("op"), 0);
    ASSERT_EQ(m_file.SetAuthPassword(stored), 0);
    ASSERT_EQ(m_file.SaveReplacing(File()), 0);
    OptionSettings o = LoadOptions(File());
    EXPECT_TRUE(o.useProxy);
    EXPECT_TRUE(o.needAuth);
    EXPECT_EQ(o.authUser, "op");
    EXPECT_EQ(o.authPassword, "");
    EXPECT_EQ(o.proxyPort, "3128");
}

TEST_F(OptionsTest, AuthenticationNeedsAValidProxyAndAReadablePassword) {
    std::string base =
        "[OPTION_NETWORK_CONFIG]\nUSE_HTTP_PROXY=yes\nNEED_AUTH=yes\n"
        "AUTH_USERNAME=op\n";
    struct Case {
        const char* name;
        std::string extra;
        bool needAuth;
        std::string password;
    } cases[] = {
        {"valid",
         "PROXY_IP=1.2.3.4\nPROXY_PORT=8080\nAUTH_PASSWORD=" + EncodeStoredPassword("pa ss") + "\n",
         true, "pa ss"},
        {"lower-case hex",
         "PROXY_IP=1.2.3.4\nPROXY_PORT=8080\nAUTH_PASSWORD=" +
             QString::fromStdString(EncodeStoredPassword("x")).toLower().toStdString() + "\n",
         true, "x"},
        {"no port", "PROXY_IP=1.2.3.4\nAUTH_PASSWORD=" + EncodeStoredPassword("p") + "\n", false,
         ""},
        {"port 0",
         "PROXY_IP=1.2.3.4\nPROXY_PORT=0\nAUTH_PASSWORD=" + EncodeStoredPassword("p") + "\n", false,
         ""},
        {"password without marker",
         "PROXY_IP=1.2.3.4\nPROXY_PORT=1\nAUTH_PASSWORD=0A00" + std::string(32, '0') + "\n", false,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(File(), base + c.extra);
        OptionSettings o = LoadOptions(File());
        EXPECT_EQ(o.needAuth, c.needAuth);
        EXPECT_EQ(o.authPassword, c.password);
        if (!c.needAuth) {
            EXPECT_EQ(o.authUser, "");
        }
    }
}

TEST_F(OptionsTest, SaveReplacingRewritesInPlaceWithOwnerOnlyMode) {
    ASSERT_EQ(LoadText("; kept\r\n[option_network_config]\r\n  proxy_port  =  080\r\n"), 1);
    ASSERT_EQ(m_file.SetProxyPort("8080"), 0);
    ASSERT_EQ(m_file.SaveReplacing(File()), 0);
    EXPECT_EQ(test::ReadFile(File()),
              "; kept\r\n[option_network_config]\r\nPROXY_PORT = 8080\r\n\r\n");
    EXPECT_FALSE(fs::exists(m_dir / "updaterconf.ini.tmp"));
    EXPECT_EQ(fs::status(File()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    COptionFile again;
    EXPECT_EQ(again.Load(File()), 1);
    EXPECT_EQ(again.GetProxyPort(), 8080);
}

TEST_F(OptionsTest, FailedReplaceIsLoggedAndLeavesNoCopy) {
    ASSERT_EQ(OpenLog(), 0);
    m_file.Load(File());
    ASSERT_EQ(m_file.SetSavePackage("no"), 0);
    fs::create_directories(File() / "occupied");  // rename(2) cannot replace this folder
    EXPECT_NE(m_file.SaveReplacing(File()), 0);
    CloseLog();
    EXPECT_FALSE(fs::exists(m_dir / "updaterconf.ini.tmp"));
    std::string log = test::ReadFile(m_dir / "log" / "kelmora.log");
    EXPECT_NE(log.find("]:[INFO]   MoveFileEx() occurs errors when Save the option-file : "),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace vorn
