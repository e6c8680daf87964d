#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "lib/StringTable.h"
#include "lib/Text.h"

namespace vorn {
namespace {

const Language kLanguages[] = {Language::English, Language::Simplified, Language::Traditional};

std::vector<std::string> PrintfSpecs(const std::string& text) {
    static const std::regex spec(R"(%[-+ #0]*(\d+|\*)?(\.(\d+|\*))?(hh|h|ll|l|L|z|j|t)?[diouxXeEfgGaAcspn%])");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), spec); it != std::sregex_iterator();
         ++it) {
        out.push_back(it->str());
    }
    return out;
}

std::string LeadingBreaks(const std::string& t) {
    return t.substr(0, t.find_first_not_of("\r\n") == std::string::npos ? t.size()
                                                                         : t.find_first_not_of("\r\n"));
}

std::string TrailingBreaks(const std::string& t) {
    const auto last = t.find_last_not_of("\r\n");
    return last == std::string::npos ? t : t.substr(last + 1);
}

// Strict UTF-8 check (no overlongs, no surrogates): every table is stored as UTF-8.
bool IsUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t extra = 0;
        unsigned cp = c;
        if (c >= 0x80) {
            if ((c & 0xE0) == 0xC0) extra = 1, cp = c & 0x1F;
            else if ((c & 0xF0) == 0xE0) extra = 2, cp = c & 0x0F;
            else if ((c & 0xF8) == 0xF0) extra = 3, cp = c & 0x07;
            else return false;
        }
        if (i + extra >= s.size() && extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        static const unsigned kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

TEST(StringTable, TablesHaveTheSameSortedUniqueIds) {
    const std::vector<int> english = StringIds(Language::English);
    ASSERT_FALSE(english.empty());
    for (size_t i = 1; i < english.size(); ++i) {
        EXPECT_LT(english[i - 1], english[i]) << "English table not sorted or duplicate at " << english[i];
    }
    EXPECT_EQ(StringIds(Language::Simplified), english);
    EXPECT_EQ(StringIds(Language::Traditional), english);
}

TEST(StringTable, TranslationsKeepFormatsAndLineBreaks) {
    for (int id : StringIds(Language::English)) {
        const std::string en = LoadStr(id, Language::English);
        EXPECT_TRUE(IsUtf8(en)) << id;
        for (Language lang : {Language::Simplified, Language::Traditional}) {
            const std::string tr = LoadStr(id, lang);
            SCOPED_TRACE("id " + std::to_string(id) + " language " + std::to_string(int(lang)));
            EXPECT_FALSE(tr.empty());
            EXPECT_TRUE(IsUtf8(tr));
            EXPECT_EQ(PrintfSpecs(tr), PrintfSpecs(en));
            EXPECT_EQ(LeadingBreaks(tr), LeadingBreaks(en));
            EXPECT_EQ(TrailingBreaks(tr), TrailingBreaks(en));
        }
    }
}

TEST(StringTable, EnglishTextsAreTheProgramsOwn) {
    EXPECT_STREQ(LoadStr(6553, Language::English), "An operation is in process. Please wait...\n");
    EXPECT_STREQ(LoadStr(6500, Language::English), "\n\nConnecting to device (%s)...\n");
    EXPECT_STREQ(LoadStr(6616, Language::English),
                 "This is a combined update package. You cannot restore device to factory defaults!\r\n");
    EXPECT_STREQ(LoadStr(6792, Language::English),
                 "Username cannot contain any of the following characters: \\ / : * ? < > | , ");
    EXPECT_STREQ(LoadStr(57344, Language::English), "Tolbane Firmware Updater");
    // The main program's 6794/6796, not the launcher's.
    EXPECT_STREQ(LoadStr(6796, Language::English), "View Update Tips");
    EXPECT_STREQ(LoadStr(6794, Language::English),
                 "The Client Updater program is damaged. Please download again.");
}

TEST(StringTable, UnknownIdIsEmptyAndFormatUsesCurrentLanguage) {
    EXPECT_STREQ(LoadStr(1, Language::Traditional), "");
    const Language saved = CurrentLanguage();
    SetLanguage(Language::English);
    EXPECT_EQ(FormatStr(6498, 3), "Search completed. Found 3 devices.\n");
    SetLanguage(Language::Simplified);
    EXPECT_EQ(FormatStr(6498, 3), StrPrintf(LoadStr(6498, Language::Simplified), 3));
    EXPECT_NE(FormatStr(6498, 3), "Search completed. Found 3 devices.\n");
    SetLanguage(saved);
}

TEST(StringTable, LanguageFromLocale) {
    const struct {
        const char* locale;
        Language lang;
    } cases[] = {
        {"zh_CN.UTF-8", Language::Simplified}, {"zh_SG", Language::Simplified},
        {"zh_TW.UTF-8", Language::Traditional}, {"zh_HK.Big5", Language::Traditional},
        {"en_US.UTF-8", Language::English},    {"de_DE", Language::English},
        {"C", Language::English},              {"", Language::English},
        {"zh", Language::English},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageFromLocale(c.locale), c.lang) << c.locale;
    }
}

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name) {
        if (const char* v = std::getenv(name)) m_old = v, m_had = true;
    }
    ~EnvGuard() { m_had ? setenv(m_name, m_old.c_str(), 1) : unsetenv(m_name); }
    void set(const char* v) { v ? setenv(m_name, v, 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(StringTable, VornLangOverridesTheLocale) {
    EnvGuard lang("VORN_LANG"), all("LC_ALL"), msgs("LC_MESSAGES"), l("LANG");
    msgs.set(nullptr);
    l.set(nullptr);
    all.set("zh_TW.UTF-8");
    lang.set(nullptr);
    EXPECT_EQ(LanguageFromEnvironment(), Language::Traditional);
    lang.set("zh_CN");
    EXPECT_EQ(LanguageFromEnvironment(), Language::Simplified);
    lang.set("en");
    EXPECT_EQ(LanguageFromEnvironment(), Language::English);
    lang.set("");  // empty means not set
    EXPECT_EQ(LanguageFromEnvironment(), Language::Traditional);
    all.set(nullptr);
    l.set("zh_HK.UTF-8");
    EXPECT_EQ(LanguageFromEnvironment(), Language::Traditional);
}

}  // namespace
}  // namespace vorn
