// ConfSectionReader (the reader of "upgrade.conf" and "package.conf" inside packages) on
// arbitrary files: every entry it keeps is found again by Get, names and values carry no
// surrounding blanks or line breaks, and a second load gives the same entries.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "lib/ConfSectionReader.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

bool Trimmed(const std::string& s) {
    const std::string blanks = " \t\r\n";
    return s.empty() || (blanks.find(s.front()) == std::string::npos &&
                         blanks.find(s.back()) == std::string::npos);
}

const std::filesystem::path& Input() {
    static const std::filesystem::path p =
        (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                   : std::filesystem::temp_directory_path()) /
        ("fuzz_conf." + std::to_string(::getpid()));
    return p;
}

struct RemoveAtExit {
    ~RemoveAtExit() {
        std::error_code ec;
        std::filesystem::remove(Input(), ec);
    }
} g_remove;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ofstream(Input(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vorn::ConfSectionReader conf;
    Check(conf.Load(Input()));
    for (const auto& [name, value] : conf.Entries()) {
        Check(conf.Get(name.first, name.second) == value);
        Check(name.second.find('\n') == std::string::npos && value.find('\n') == std::string::npos);
        Check(Trimmed(name.first) && Trimmed(name.second) && Trimmed(value));
    }
    Check(conf.Get("no such section\n", "key").empty());
    vorn::ConfSectionReader again;
    Check(again.Load(Input()) && again.Entries() == conf.Entries());
    return 0;
}
