#include "lib/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/IniTable.h"
#include "platform/DataFile.h"

namespace vorn {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFoldedMax = 64;
constexpr std::size_t kSectionTableRequest = 50;
constexpr std::size_t kKeyTableRequest = 10;

constexpr std::size_t kPrimes[] = {5,         11,        19,        53,         107,       223,
                                   463,       983,       1979,      3907,       7963,      16229,
                                   32531,     65407,     130987,    262237,     524521,    1048793,
                                   2097397,   4194103,   8388857,   16777447,   33554201,  67108961,
                                   134217487, 268435697, 536870683, 1073741621, 2147483399};
static_assert(std::size(kPrimes) == 29);

struct KeyEntry {
    std::string line;        // "%s = %s" with the key as written and the value
    std::size_t valuePos{};  // where the value begins in `line`
    std::string_view Value() const { return std::string_view(line).substr(valuePos); }
};

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

std::string_view TrimLineEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

std::int64_t ModificationTime(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return 0;
    }
    std::int64_t t = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return t == 0 ? 1 : t;  // 0 means "nothing loaded"
}

}  // namespace

struct IniFile::Section {
    explicit Section(std::string n, std::size_t keyRequest)
        : name(std::move(n)), keys(keyRequest) {}
    std::string name;                  // as first written
    std::vector<std::string> comment;  // comment lines written under the section line
    CIniTable<KeyEntry> keys;
};

struct IniFile::Tables {
    // Sections are owned through unique_ptr so that the key tables never move.
    CIniTable<std::unique_ptr<Section>> sections{kSectionTableRequest};
    std::size_t maxKeys = 0;  // largest key count seen in any section
};

std::string IniFoldName(std::string_view name) {
    std::string out(name.substr(0, kFoldedMax));
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::uint32_t IniElfHash(std::string_view folded) {
    std::uint32_t h = 0;
    for (char c : folded) {
        h = (h << 4) + static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(c)));
        std::uint32_t g = h & 0xF0000000u;
        if (g != 0) {
            h ^= g >> 24;
        }
        h &= ~g;
    }
    return h;
}

std::size_t IniTableSize(std::size_t request) {
    for (std::size_t p : kPrimes) {
        if (p >= request) {
            return p;
        }
    }
    return kPrimes[std::size(kPrimes) - 1];
}

std::size_t IniNextTableSize(std::size_t size) {
    for (std::size_t p : kPrimes) {
        if (p > size) {
            return p;
        }
    }
    return size;
}

IniFile::IniFile() : m_tables(std::make_unique<Tables>()) {}

IniFile::IniFile(const fs::path& path) : IniFile() {
    Load(path);
}

IniFile::~IniFile() = default;

bool IniFile::IsLoaded() const {
    return !m_path.empty() && m_mtime != 0;
}

IniFile::Section* IniFile::FindSection(std::string_view name) const {
    auto* s = m_tables->sections.Find(IniFoldName(name));
    return s ? s->get() : nullptr;
}

IniFile::Section* IniFile::AddSection(std::string_view name) {
    if (Section* s = FindSection(name)) {
        return s;
    }
    std::size_t request = std::max(kKeyTableRequest, m_tables->maxKeys);
    auto* slot = m_tables->sections.Append(IniFoldName(name),
                                           std::make_unique<Section>(std::string(name), request));
    return slot ? slot->get() : nullptr;
}

void IniFile::Clear() {
    m_tables->sections.Clear();
    m_header.clear();
    m_dirty = true;
}

int IniFile::Load(const fs::path& path) {
    std::int64_t mtime = ModificationTime(path);
    if (!m_path.empty() && path == m_path && mtime != 0 && mtime == m_mtime) {
        return 0;
    }
    m_tables->sections.Clear();
    m_tables->maxKeys = 0;
    m_header.clear();
    m_path = path;
    m_mtime = 0;
    m_dirty = false;

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return -1;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return -1;
    }
    int rc = Parse(f);
    std::fclose(f);
    if (rc != 0) {
        return rc;
    }
    m_mtime = mtime;
    m_dirty = false;
    return 0;
}

// Whole lines are read (no length cut), so a long line never turns into two lines.
int IniFile::Parse(std::FILE* f) {
    Section* current = nullptr;
    std::vector<std::string> pending;
    char* buf = nullptr;
    std::size_t cap = 0;
    ssize_t n;
    int rc = 0;
    while ((n = ::getline(&buf, &cap, f)) >= 0) {
        std::string_view raw(buf, static_cast<std::size_t>(n));
        std::size_t skip = 0;
        while (skip < raw.size() && (raw[skip] == ' ' || raw[skip] == '\t' || raw[skip] == '\v' ||
                                     raw[skip] == '\f' || raw[skip] == '\r' || raw[skip] == '\n')) {
            ++skip;
        }
        std::string_view line = raw.substr(skip);
        if (line.empty()) {
            continue;
        }
        if (line[0] == ';' || line[0] == '#') {
            pending.emplace_back(TrimLineEnd(line));
            continue;
        }
        if (line[0] == '[') {
            // The name ends at the first "]" that is directly followed by the line end.
            std::string_view rest = line.substr(1);
            std::size_t end = std::string_view::npos;
            for (std::size_t i = 0; i < rest.size(); ++i) {
                if (rest[i] == ']' &&
                    (i + 1 == rest.size() || rest[i + 1] == '\r' || rest[i + 1] == '\n')) {
                    end = i;
                    break;
                }
            }
            std::string_view name =
                end == std::string_view::npos ? TrimLineEnd(rest) : rest.substr(0, end);
            auto& target = current ? current->comment : m_header;
            target.insert(target.end(), pending.begin(), pending.end());
            pending.clear();
            current = AddSection(name);
            if (!current) {
                rc = -2;
                break;
            }
            continue;
        }
        if (!current) {
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == 0 || eq == std::string_view::npos) {
            continue;
        }
        std::string_view key = line.substr(0, eq);
        if (key.back() == ' ') {
            key.remove_suffix(1);
        }
        std::string_view value = TrimLineEnd(line.substr(eq + 1));
        if (!value.empty() && value[0] == ' ') {
            value.remove_prefix(1);
        }
        std::string folded = IniFoldName(key);
        if (current->keys.Find(folded)) {
            continue;  // the first value wins
        }
        KeyEntry e;
        e.line.reserve(key.size() + 3 + value.size());
        e.line.append(key).append(" = ").append(value);
        e.valuePos = key.size() + 3;
        current->keys.Append(std::move(folded), std::move(e));
        m_tables->maxKeys = std::max(m_tables->maxKeys, current->keys.Count());
    }
    std::free(buf);
    // A block after the last key stays with the last section (it is written under that
    // section's line, so dropping it would lose comments this store wrote itself).
    auto& target = current ? current->comment : m_header;
    target.insert(target.end(), pending.begin(), pending.end());
    if (rc == 0 && std::ferror(f)) {
        rc = -1;
    }
    return rc;
}

int IniFile::WriteTo(const fs::path& path) const {
    std::string out;
    for (const auto& c : m_header) {
        out.append(c).append("\r\n");
    }
    for (auto* s = m_tables->sections.First(); s; s = s->next) {
        const Section& sec = *s->value;
        out.append("[").append(sec.name).append("]\r\n");
        for (const auto& c : sec.comment) {
            out.append(c).append("\r\n");
        }
        for (auto* k = sec.keys.First(); k; k = k->next) {
            out.append(k->value.line).append("\r\n");
        }
        out.append("\r\n");
    }

    // Write a sibling and move it into place, so a failed write never leaves half a file.
    static std::atomic<unsigned> s_counter{0};
    fs::path tmp = path;
    tmp += ".~" + std::to_string(::getpid()) + "." + std::to_string(s_counter++);
    // A link in the data folder is refused rather than replaced or written through.
    if (ReachedThroughLink(path)) {
        errno = ELOOP;
        return -1;
    }
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, m_mode);
    if (fd < 0) {
        return -1;
    }
    bool ok = true;
    const char* p = out.data();
    std::size_t left = out.size();
    while (ok && left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        ok = w > 0;
        if (ok) {
            p += w;
            left -= static_cast<std::size_t>(w);
        }
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        const int err = errno;
        ::unlink(tmp.c_str());
        errno = err;
        return -1;
    }
    return 0;
}

int IniFile::Save(const fs::path& path) {
    bool own = path.empty() || path == m_path;
    if (own) {
        if (m_path.empty()) {
            return -1;
        }
        if (!m_dirty) {
            return 0;
        }
    }
    if (WriteTo(own ? m_path : path) != 0) {
        return -1;
    }
    m_dirty = false;
    return 0;
}

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    return s && s->keys.Find(IniFoldName(key));
}

std::vector<std::string> IniFile::ListSections() const {
    std::vector<std::string> out;
    for (auto* s = m_tables->sections.First(); s; s = s->next) {
        out.push_back(s->value->name);
    }
    return out;
}

std::vector<std::string> IniFile::ListKeys(std::string_view section) const {
    std::vector<std::string> out;
    if (const Section* s = FindSection(section)) {
        for (auto* k = s->keys.First(); k; k = k->next) {
            out.push_back(k->folded);
        }
    }
    return out;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    const KeyEntry* e = s ? s->keys.Find(IniFoldName(key)) : nullptr;
    if (!e) {
        return std::nullopt;
    }
    return std::string(e->Value());
}

const char* IniFile::GetString(std::string_view section, std::string_view key, char* buf,
                               std::size_t size, const char* def) const {
    const Section* s = FindSection(section);
    const KeyEntry* e = s ? s->keys.Find(IniFoldName(key)) : nullptr;
    if (!e) {
        if (buf && size > 0 && def) {
            std::size_t n = std::min(std::strlen(def), size - 1);
            std::memcpy(buf, def, n);
            buf[n] = '\0';
        }
        return "";
    }
    if (!buf) {
        return e->line.c_str() + e->valuePos;
    }
    if (size == 0) {
        return buf;
    }
    std::string_view v = e->Value();
    std::size_t n = std::min(v.size(), size - 1);
    std::memcpy(buf, v.data(), n);
    buf[n] = '\0';
    return buf;
}

int IniFile::GetInt(std::string_view section, std::string_view key, int def) const {
    auto v = Find(section, key);
    if (!v || v->empty()) {
        return def;
    }
    long n = std::strtol(v->c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(n, INT_MIN, INT_MAX));
}

unsigned IniFile::GetUInt(std::string_view section, std::string_view key, unsigned def) const {
    auto v = Find(section, key);
    if (!v || v->empty()) {
        return def;
    }
    std::string copy = v->substr(0, 31);
    unsigned long n = std::strtoul(copy.c_str(), nullptr, 10);
    return n > UINT_MAX ? UINT_MAX : static_cast<unsigned>(n);
}

// Names and values with line breaks, and keys that contain "=" or begin like a comment, a
// section or with a blank, would read back differently, so they are refused.
int IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreak(section)) {
        return -1;
    }
    if (key.empty() || std::strchr(" \t;#[", key[0]) || HasLineBreak(key) ||
        key.find('=') != std::string_view::npos || HasLineBreak(value)) {
        return -2;
    }
    Section* s = AddSection(section);
    if (!s) {
        return -1;
    }
    std::string folded = IniFoldName(key);
    s->keys.Remove(folded);
    KeyEntry e;
    e.line.append(key).append(" = ").append(value);
    e.valuePos = key.size() + 3;
    if (!s->keys.Append(std::move(folded), std::move(e))) {
        return -3;
    }
    m_tables->maxKeys = std::max(m_tables->maxKeys, s->keys.Count());
    m_dirty = true;
    return 0;
}

int IniFile::SetInt(std::string_view section, std::string_view key, int value) {
    return SetString(section, key, std::to_string(value));
}

int IniFile::RemoveKey(std::string_view section, std::string_view key) {
    Section* s = FindSection(section);
    if (!s || !s->keys.Remove(IniFoldName(key))) {
        return -1;
    }
    m_dirty = true;
    return 0;
}

}  // namespace vorn
