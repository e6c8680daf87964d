#include "lib/StringTable.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace vorn {
namespace {

struct Entry {
    int id;
    const char* text;
};

// Tables are sorted by id (checked by a test).
const Entry kEnglish[] = {
#include "lib/strings/en.inc"
};
const Entry kSimplified[] = {
#include "lib/strings/zh_CN.inc"
};
const Entry kTraditional[] = {
#include "lib/strings/zh_TW.inc"
};

template <size_t N>
const char* Find(const Entry (&table)[N], int id) {
    auto it = std::lower_bound(std::begin(table), std::end(table), id,
                               [](const Entry& e, int v) { return e.id < v; });
    return (it != std::end(table) && it->id == id) ? it->text : nullptr;
}

std::atomic<int> g_language{-1};

}  // namespace

Language LanguageFromEnvironment() {
    if (const char* forced = std::getenv("VORN_LANG"); forced && *forced) {
        return LanguageFromLocale(forced);
    }
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(var); v && *v) {
            return LanguageFromLocale(v);
        }
    }
    return Language::English;
}

Language LanguageFromLocale(const std::string& locale) {
    auto starts = [&](const char* p) { return locale.rfind(p, 0) == 0; };
    if (starts("zh_CN") || starts("zh_SG")) {
        return Language::Simplified;
    }
    if (starts("zh_TW") || starts("zh_HK")) {
        return Language::Traditional;
    }
    return Language::English;
}

Language CurrentLanguage() {
    int v = g_language.load();
    if (v < 0) {
        v = static_cast<int>(LanguageFromEnvironment());
        g_language.store(v);
    }
    return static_cast<Language>(v);
}

void SetLanguage(Language lang) { g_language.store(static_cast<int>(lang)); }

const char* LoadStr(int id, Language lang) {
    const char* t = nullptr;
    switch (lang) {
        case Language::Simplified: t = Find(kSimplified, id); break;
        case Language::Traditional: t = Find(kTraditional, id); break;
        case Language::English: break;
    }
    if (!t) {
        t = Find(kEnglish, id);
    }
    return t ? t : "";
}

const char* LoadStr(int id) { return LoadStr(id, CurrentLanguage()); }

std::vector<int> StringIds(Language lang) {
    std::vector<int> ids;
    auto collect = [&](const auto& table) {
        for (const Entry& e : table) ids.push_back(e.id);
    };
    switch (lang) {
        case Language::English: collect(kEnglish); break;
        case Language::Simplified: collect(kSimplified); break;
        case Language::Traditional: collect(kTraditional); break;
    }
    return ids;
}

}  // namespace vorn
