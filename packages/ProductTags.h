#pragma once
// Product-line tags of the device families: the configuration data behind ClassifyVersion,
// and the entries of the "Current Device" dialog, whose positions are the numbers that
// ClassifyVersion produces (model = layout flag, product series = product-line code).
#include <iterator>
#include <string_view>

namespace vorn {

struct VersionTagRule {
    std::string_view tag;  // lower case; "" with prefixMatch = the "begins with s" rule
    bool prefixMatch;      // match at the start of the text instead of anywhere
    int result;
};

// Ordered rule lists; the first rule whose tag occurs decides, the fallback applies otherwise.
struct VersionTagTable {
    const VersionTagRule* layoutRules;
    int layoutCount;
    int layoutFallback;
    const VersionTagRule* productRules;
    int productCount;
    int productFallback;
};
const VersionTagTable& ProductTagTable();

// "Current Device" dialog lists; position = number stored for the device. `example` is a
// version text that classifies to that position.
struct DeviceChoice {
    std::string_view label;
    std::string_view example;
};
inline constexpr DeviceChoice kDeviceModels[] = {
    {"UX / VX / EDGE gateways (var layout)", "UX2000 V3.1.0"},
    {"GW / MX / TC / SX gateways (etc layout)", "KELMORA-GW-2100 V5.2.1"},
};
inline constexpr DeviceChoice kDeviceSeries[] = {
    {"Standard", "KELMORA V5.0"},
    {"(reserved)", ""},  // code 1 is never produced
    {"NV series", "NV300 V2.0"},
    {"ARM series", "KELMORA-ARM V4.0"},
    {"GW storage series", "KELMORA-GW-2100 V5.2.1"},
    {"Server series", "KELMORA-SERVER V6.0"},
    {"Micro series", "MICRO V1.0"},
    {"MX series", "KELMORA-MX-10 V5.0"},
    {"TC / SX series", "KELMORA-TC-8 V5.0"},
};

}  // namespace vorn
