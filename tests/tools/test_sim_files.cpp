// The simulator's file transfer and its virtual file system.
#include "tests/common/WaitFor.h"
#include "tests/tools/SimFixture.h"
#include "tools/gateway-sim/SimScripts.h"

namespace vorn::test {
namespace {

using SimFiles = SimFixture;

// Reads a download after its "get" was answered: binary frames up to "getover".
std::string ReadDownload(SimClient& client, std::vector<std::size_t>* frameSizes = nullptr) {
    std::string data;
    for (;;) {
        const SimMessage m = client.Read();
        if (m.kind == SimMessage::Binary) {
            data.append(m.data.begin(), m.data.end());
            if (frameSizes) {
                frameSizes->push_back(m.data.size());
            }
            continue;
        }
        EXPECT_EQ(m.kind, SimMessage::Text);
        EXPECT_EQ(m.text, "getover\n");
        return data;
    }
}

TEST_F(SimFiles, GetSendsSizeFramesAndGetover) {
    StartSim();
    ConnectAndLogin();
    struct Case {
        std::size_t size;
        std::vector<std::size_t> frames;
    };
    for (const Case& c :
         {Case{0, {}}, Case{1024, {1024}}, Case{1025, {1024, 1}}, Case{2500, {1024, 1024, 452}}}) {
        const std::string content = RandomBytes(c.size, static_cast<unsigned>(c.size));
        WriteLocal(RootDir() / "stmp/cfgbk", content);
        ASSERT_EQ(m_client.Ask("get\nfile:/stmp/cfgbk\n"),
                  "result:0\nmsg:" + std::to_string(c.size) + "\n");
        std::vector<std::size_t> frames;
        EXPECT_EQ(ReadDownload(m_client, &frames), content) << c.size;
        EXPECT_EQ(frames, c.frames) << c.size;
    }
    EXPECT_EQ(m_client.Ask("get\nfile:/app/appversion\n"), "result:0\nmsg:20\n");
    EXPECT_EQ(ReadDownload(m_client), "KELMORA GW V300R001\n");
}

TEST_F(SimFiles, GetOfMissingFileOrFolderFails) {
    StartSim();
    ConnectAndLogin();
    for (const char* path : {"/no/such/file", "/app", "/"}) {
        const std::string reply = m_client.Ask(std::string("get\nfile:") + path + "\n");
        EXPECT_EQ(reply.rfind("result:1\nmsg:", 0), 0u) << path << ": " << reply;
    }
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /app\n"), "result:0\n");  // still in step
}

TEST_F(SimFiles, GetWithoutSizeOmitsMsg) {
    StartSim([](GatewaySimConfig& cfg) { cfg.getWithoutSize = true; });
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("get\nfile:/app/appversion\n"), "result:0\n");
    EXPECT_EQ(ReadDownload(m_client), "KELMORA GW V300R001\n");
}

TEST_F(SimFiles, DamagedFirmwareHasNoVersionFile) {
    WriteLocal(RootDir() / "app/appversion", "left from an earlier run\n");
    StartSim([](GatewaySimConfig& cfg) { cfg.damaged = true; });
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("get\nfile:/app/appversion\n").rfind("result:1\n", 0), 0u);
}

TEST_F(SimFiles, PutStoresExactBytesOnlyAtPutover) {
    StartSim();
    ConnectAndLogin();
    const std::string content = RandomBytes(300000);
    ASSERT_EQ(m_client.Ask("put\nfile:/stmp/app\n"), "result:0\n");
    ASSERT_TRUE(m_client.SendData(content));
    // Nothing is in place before putover.
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /stmp/app\n").rfind("result:1\n", 0), 0u);
    ASSERT_EQ(m_client.Ask("putover\n"), "result:0\n");
    EXPECT_EQ(ReadLocal(RootDir() / "stmp/app"), content);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(RootDir() / "stmp"),
                            std::filesystem::directory_iterator()),
              1);
    const auto uploads = m_sim->Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].path, "/stmp/app");
    EXPECT_EQ(uploads[0].bytes, content.size());
    EXPECT_TRUE(uploads[0].stored);
    // The file reads back through get unchanged, and a second put replaces it.
    ASSERT_EQ(m_client.Ask("get\nfile:/stmp/app\n"), "result:0\nmsg:300000\n");
    EXPECT_EQ(ReadDownload(m_client), content);
    ASSERT_EQ(m_client.Ask("put\nfile:/stmp/app\n"), "result:0\n");
    ASSERT_EQ(m_client.Ask("putover\n"), "result:0\n");
    EXPECT_EQ(ReadLocal(RootDir() / "stmp/app"), "");
}

TEST_F(SimFiles, InterruptedUploadLeavesNothing) {
    WriteLocal(RootDir() / "stmp/app", "old image");
    StartSim();
    ConnectAndLogin();
    ASSERT_EQ(m_client.Ask("put\nfile:/stmp/app\n"), "result:0\n");
    ASSERT_TRUE(m_client.SendData(RandomBytes(5000)));
    m_client.Close();
    ASSERT_TRUE(waitFor([&] { return !m_sim->ClientConnected(); }));
    EXPECT_EQ(ReadLocal(RootDir() / "stmp/app"), "old image");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(RootDir() / "stmp"),
                            std::filesystem::directory_iterator()),
              1);
    ASSERT_EQ(m_sim->Uploads().size(), 1u);
    EXPECT_FALSE(m_sim->Uploads()[0].stored);
}

TEST_F(SimFiles, PutoverWithoutPutFails) {
    StartSim();
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("putover\n").rfind("result:1\n", 0), 0u);
}

TEST_F(SimFiles, PathsOutsideTheRootAreRefused) {
    const auto outside = Dir() / "outside";
    WriteLocal(outside / "secret", "secret");
    std::filesystem::create_directories(RootDir());
    std::filesystem::create_directory_symlink(outside, RootDir() / "link");
    std::filesystem::create_symlink(Dir() / "nowhere", RootDir() / "dangling");
    std::filesystem::create_directories(RootDir() / "app");
    std::filesystem::create_symlink("../../outside/secret", RootDir() / "app" / "rel");
    StartSim();
    ConnectAndLogin();
    for (const char* path : {"/../outside/secret", "/app/../../outside/secret", "../outside/x",
                             "/link/secret", "/link/new", "/dangling", "/dangling/x", "/app/rel"}) {
        SCOPED_TRACE(path);
        const std::string p = path;
        EXPECT_EQ(m_client.Ask("get\nfile:" + p + "\n").rfind("result:1\n", 0), 0u);
        EXPECT_EQ(m_client.Ask("excute\ncmd:ls " + p + "\n").rfind("result:1\n", 0), 0u);
        EXPECT_EQ(m_client.Ask("put\nfile:" + p + "\n").rfind("result:1\n", 0), 0u);
        ASSERT_TRUE(m_client.SendData("x"));  // stray data must not land anywhere
        EXPECT_EQ(m_client.Ask("putover\n").rfind("result:1\n", 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(Dir() / "nowhere"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(ReadLocal(outside / "secret"), "secret");
    // A link that stays inside the root is followed.
    std::filesystem::create_directory_symlink(RootDir() / "app", RootDir() / "applink");
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /applink/appversion\n"), "result:0\n");
}

// "appsh" reads the version marker of the installed image line by line; the marker line may
// lie anywhere, across the reader's 1 MiB blocks too, and counts only at a line start.
TEST_F(SimFiles, AppshFindsTheVersionMarkerAnywhereInALargeImage) {
    struct Case {
        const char* name;
        std::string image;
        const char* pending;  // nullptr: no version is recorded
    };
    std::string noise = RandomBytes((1 << 20) - 5);
    for (char& c : noise) {
        c = c == '#' ? '+' : c;  // no accidental marker
    }
    const Case cases[] = {
        {"first line", "#sim: version V1\r\nrest", "V1\n"},
        {"across a block end", noise + "\n#sim: version V2\n" + noise, "V2\n"},
        {"last line without a line feed", noise + "\n#sim: version V3", "V3\n"},
        {"not at a line start", noise + "x#sim: version V4\n", nullptr},
        {"none", noise, nullptr},
    };
    StartSim();
    AddScriptCommands(*m_sim);
    WriteLocal(RootDir() / "etc/vorncmd/appsh", "#!/bin/sh\n");
    ConnectAndLogin();
    for (const Case& c : cases) {
        std::filesystem::remove(RootDir() / "app/.appversion.pending");
        std::filesystem::remove(RootDir() / "app/installed");
        WriteLocal(RootDir() / "stmp/app", c.image);
        EXPECT_EQ(m_client.Ask("excute\ncmd:/etc/vorncmd/appsh\n"), "result:0\n") << c.name;
        EXPECT_EQ(ReadLocal(RootDir() / "app/installed"),
                  std::to_string(c.image.size()) + " bytes installed\n")
            << c.name;
        EXPECT_EQ(std::filesystem::exists(RootDir() / "app/.appversion.pending"),
                  c.pending != nullptr)
            << c.name;
        if (c.pending) {
            EXPECT_EQ(ReadLocal(RootDir() / "app/.appversion.pending"), c.pending) << c.name;
        }
    }
}

}  // namespace
}  // namespace vorn::test
