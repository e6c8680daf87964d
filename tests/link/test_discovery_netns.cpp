// Searches that really broadcast. Run only by tests/app/discover_netns.sh, inside the network
// namespaces it creates (its topology is described there); anywhere else every test skips
// before a socket is made.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "app/CSelectDevice.h"
#include "platform/LocalAddresses.h"
#include "tests/link/SessionFixture.h"

namespace vorn::test {
namespace {

std::string NetNamespace(const char* procPath) {
    char buf[PATH_MAX] = {};
    const ssize_t n = ::readlink(procPath, buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// True only in a namespace other than the one the script started in and other than the
// machine's (that of process 1).
bool InPrivateNamespace(std::string& why) {
    const char* parent = std::getenv("VORN_NETNS_PARENT");
    const std::string self = NetNamespace("/proc/self/ns/net");
    if (!parent || !*parent) {
        why = "VORN_NETNS_PARENT is not set (run through tests/app/discover_netns.sh)";
        return false;
    }
    if (self.empty() || self == parent || self == NetNamespace("/proc/1/ns/net")) {
        why = "not inside a private network namespace";
        return false;
    }
    return true;
}

// The script sets VORN_NETNS_STRICT so that a missing namespace fails there instead of
// passing as skipped.
#define REQUIRE_PRIVATE_NAMESPACE()               \
    do {                                          \
        std::string why;                          \
        if (!InPrivateNamespace(why)) {           \
            if (std::getenv("VORN_NETNS_STRICT")) \
                FAIL() << why;                    \
            GTEST_SKIP() << why;                  \
        }                                         \
    } while (0)

class NetnsConsoleSearch : public SessionFixture {};

TEST_F(NetnsConsoleSearch, LocalAddressesAreTheBroadcastInterfaces) {
    REQUIRE_PRIVATE_NAMESPACE();
    std::vector<std::string> addresses;
    ASSERT_TRUE(LocalIpv4Addresses(addresses));
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses,
              (std::vector<std::string>{"10.0.0.1", "172.16.1.1", "172.16.2.1", "192.168.1.2"}));
}

// Without a default route the broadcast of the one-socket search has no way out.
TEST_F(NetnsConsoleSearch, NoDefaultRouteFindsNothing) {
    REQUIRE_PRIVATE_NAMESPACE();
    ASSERT_TRUE(m_session->SearchGateways());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.Shown("Search completed. No device is found.\n"));
}

// With the default route on the 10.0.0.0/24 link only that link hears the broadcast; the
// malformed replies of the second responder there are ignored.
TEST_F(NetnsConsoleSearch, DefaultRouteLinkIsSearched) {
    REQUIRE_PRIVATE_NAMESPACE();
    ASSERT_TRUE(m_session->SearchGateways());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Gateway(1) Ip ------- 10.0.0.5\n", kBlue));
    EXPECT_TRUE(m_op.Shown("Search completed. Found 1 devices.\n"));
    EXPECT_EQ(m_session->Address(), "10.0.0.5");
}

// The wizard's search reaches every link; the dialog lists each gateway once, sorted.
TEST_F(NetnsConsoleSearch, WizardSearchFillsTheDialogFromEveryLink) {
    REQUIRE_PRIVATE_NAMESPACE();
    CWizardSearch search(&m_op);
    ASSERT_TRUE(search.Open());
    std::vector<std::string> picked;
    CDeviceSearch page(search, [&](const std::string& a) { picked.push_back(a); });
    ASSERT_TRUE(page.Search());
    ASSERT_TRUE(waitFor([&] { return !search.Searching(); }));
    std::vector<std::string> rows;
    for (const auto& r : page.Dialog()->Rows()) rows.push_back(r.number + " " + r.address);
    EXPECT_EQ(rows, (std::vector<std::string>{"1 10.0.0.5", "2 172.16.1.7", "3 192.168.1.1"}));
    EXPECT_EQ(page.Dialog()->Status(), "3 device(s)");
    EXPECT_EQ(search.FailedSends(), 0);
    page.Dialog()->Select(2);
    ASSERT_TRUE(page.Dialog()->Ok());
    ASSERT_TRUE(waitFor([&] { return !picked.empty(); }));
    EXPECT_EQ(picked, std::vector<std::string>{"192.168.1.1"});
}

}  // namespace
}  // namespace vorn::test
