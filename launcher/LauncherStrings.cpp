#include "launcher/LauncherStrings.h"

#include "lib/StringTable.h"

namespace vorn {
namespace {

struct Entry {
    int id;
    const char* text;
};

const char kDamaged[] = "The Client Updater program is damaged. Please download again.";
const char kTooLong[] = "Path of the program is too long.";
const char kTarget[] = "TOLBANE_Updater.exe";

// The traditional Chinese table holds the English texts.
const Entry kEnglish[] = {{6794, kDamaged}, {6795, kTooLong}, {6796, kTarget}};
const Entry kSimplified[] = {
    {6794, "客户端升级程序已损坏。请重新下载。"},
    {6795, "程序路径过长（不能超过 128 字节）。"},
    {6796, kTarget},
};

template <int N>
const char* Find(const Entry (&table)[N], int id) {
    for (const Entry& e : table) {
        if (e.id == id) {
            return e.text;
        }
    }
    return "";
}

}  // namespace

const char* LauncherStr(int id) {
    return LanguageFromEnvironment() == Language::Simplified ? Find(kSimplified, id)
                                                             : Find(kEnglish, id);
}

}  // namespace vorn
