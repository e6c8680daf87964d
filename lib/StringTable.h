#pragma once
// The numbered texts shown to the user, in English, Simplified and Traditional Chinese.
// The language comes from the locale (zh_CN/zh_SG simplified, zh_TW/zh_HK traditional,
// otherwise English); VORN_LANG=en|zh_CN|zh_TW overrides.
#include <string>
#include <vector>

namespace vorn {

enum class Language { English, Simplified, Traditional };

// The text of `id` in the current language; "" for an unknown id (never null).
const char* LoadStr(int id);
const char* LoadStr(int id, Language lang);

Language CurrentLanguage();
void SetLanguage(Language lang);  // tests and --lang style overrides
// Language chosen by the rule above from a locale name such as "zh_TW.UTF-8".
Language LanguageFromLocale(const std::string& locale);
// Language chosen from the environment now: VORN_LANG, else LC_ALL, LC_MESSAGES, LANG.
Language LanguageFromEnvironment();

// All ids of one table, ascending (for consistency checks).
std::vector<int> StringIds(Language lang);

}  // namespace vorn
