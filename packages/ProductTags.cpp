#include "packages/ProductTags.h"

namespace vorn {
namespace {

// Layout flag: 1 = scripts under "/etc/vorncmd/", 0 = under "/var/vorncmd/".
constexpr VersionTagRule kLayout[] = {
    {"-gw-", false, 1},                                                 // tag A
    {"dravel-m", false, 1}, {"-mx-", false, 1},                         // tag B
    {"-tc-", false, 1},                                                 // tag C
    {"-sx-", false, 1},                                                 // tag D
    {"-ssd", false, 1},                                                 // tag E
    {"-hdd", false, 1},                                                 // tag F
    {"dravel--", false, 1}, {"kelmora--", false, 1}, {"ux", false, 0},  // tag G
    {"vx", false, 0},                                                   // tag H
    {"edge", false, 0},                                                 // tag I
    {"s", true, 0},                                                     // text begins with "s"
};

// Product-line code: 4 and 5 select the hard-disk helper folder.
constexpr VersionTagRule kProduct[] = {
    {"-gw", false, 4},                                                   // tag A, leading dash only
    {"-ssd", false, 4},                                                  // tag E
    {"-hdd", false, 4},                                                  // tag F
    {"dravel--", false, 4}, {"kelmora--", false, 4}, {"-tc", false, 8},  // tag C, leading dash only
    {"-sx", false, 8},                                                   // tag D, leading dash only
    {"-arm", false, 3},                                                  // tag J
    {"-z", false, 5},                                                    // tag K
    {"-server", false, 5},                                               // tag L
    {"-mx", false, 7},                                                   // tag B, leading dash only
    {"nv", false, 2},                                                    // tag M
    {"micro", false, 6},                                                 // tag N
};

constexpr VersionTagTable kTable{kLayout,  static_cast<int>(std::size(kLayout)),  1,
                                 kProduct, static_cast<int>(std::size(kProduct)), 0};

}  // namespace

const VersionTagTable& ProductTagTable() {
    return kTable;
}

}  // namespace vorn
