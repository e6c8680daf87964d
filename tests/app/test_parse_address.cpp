// ParseAddress and the dotted-address rules of the options file.
#include <gtest/gtest.h>

#include "app/ParseAddress.h"

namespace vorn {
namespace {

TEST(ParseAddress, Cases) {
    struct Case {
        const char* text;
        const char* key;  // Text() of the result; nullptr when invalid
        int port;         // port to connect to
    } cases[] = {
        {"192.168.1.1", "192.168.1.1", 51111},
        {"192.168.1.1:80", "192.168.1.1:80", 80},
        {"192.168.1.1:080", "192.168.1.1:80", 80},
        {"192.168.1.1:0080", "192.168.1.1:80", 80},
        {"192.168.1.1:65535", "192.168.1.1:65535", 65535},
        {"192.168.1.1:", nullptr, 0},
        {"192.168.1.1:0", nullptr, 0},
        {"192.168.1.1:000", nullptr, 0},
        {"192.168.1.1:65536", nullptr, 0},
        {"192.168.1.1:99999999999", nullptr, 0},
        {"192.168.1.1:+80", nullptr, 0},
        {"192.168.1.1:-80", nullptr, 0},
        {"192.168.1.1:8a", nullptr, 0},
        {"192.168.1.1:80:81", nullptr, 0},
        {"192.168.1", nullptr, 0},
        {".192.168.1", nullptr, 0},
        {"255.255.255.255", nullptr, 0},
        {"256.1.1.1", nullptr, 0},
        {"1.2.3.4 ", nullptr, 0},
        {"1.2.3.4 junk", nullptr, 0},
        {"", nullptr, 0},
        {":80", nullptr, 0},
        {"gateway.local", nullptr, 0},
        // The platform parser's other spellings name the same address.
        {"0x7f.0.0.1", "127.0.0.1", 51111},
        {"010.0.0.1:51112", "8.0.0.1:51112", 51112},
        {"0.0.0.0", "0.0.0.0", 51111},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto r = ParseAddress(c.text);
        if (!c.key) {
            EXPECT_FALSE(r.has_value());
            continue;
        }
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->Text(), c.key);
        EXPECT_EQ(r->ConnectPort(), c.port);
    }
}

TEST(ParseAddress, NetworkByteOrder) {
    auto r = ParseAddress("10.254.254.253");
    ASSERT_TRUE(r);
    const auto* b = reinterpret_cast<const unsigned char*>(&r->ipv4);
    EXPECT_EQ(b[0], 10);
    EXPECT_EQ(b[3], 253);
}

TEST(ParseDottedAddress, PlatformRuleAcceptsShortFormsButNotBroadcast) {
    EXPECT_TRUE(ParseDottedAddress("10.1"));
    EXPECT_TRUE(ParseDottedAddress("1.2.3"));
    EXPECT_FALSE(IsFullDottedAddress("1.2.3"));
    EXPECT_TRUE(IsFullDottedAddress("1.2.3.4"));
    EXPECT_FALSE(ParseDottedAddress("255.255.255.255"));
    EXPECT_FALSE(ParseDottedAddress("1.2.3.4\n"));
}

}  // namespace
}  // namespace vorn
