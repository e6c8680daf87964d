// IniFile and ConfSectionReader on arbitrary bytes. Besides not crashing, a file written by
// IniFile must read back to the same store: save, load, save gives the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "lib/ConfSectionReader.h"
#include "lib/IniFile.h"

namespace {

// tmpfs when there is one: IniFile syncs each file it writes.
std::filesystem::path TempName(const char* tag) {
    std::filesystem::path dir = std::filesystem::is_directory("/dev/shm")
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
    return dir / ("fuzz_ini." + std::to_string(::getpid()) + "." + tag);
}

struct RemoveAtExit {
    ~RemoveAtExit() {
        std::error_code ec;
        for (const char* tag : {"in", "first", "second"}) {
            std::filesystem::remove(TempName(tag), ec);
        }
    }
} g_removeAtExit;

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto input = TempName("in");
    static const auto first = TempName("first");
    static const auto second = TempName("second");
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    vorn::ConfSectionReader conf;
    conf.Load(input);
    for (const auto& [name, value] : conf.Entries()) {
        if (conf.Get(name.first, name.second) != value) {
            std::abort();
        }
    }

    vorn::IniFile ini;
    if (ini.Load(input) != 0) {
        return 0;
    }
    for (const auto& section : ini.ListSections()) {
        for (const auto& key : ini.ListKeys(section)) {
            if (!ini.KeyExists(section, key) || !ini.Find(section, key)) {
                std::abort();
            }
            char buf[8];
            ini.GetString(section, key, buf, sizeof buf, "d");
            ini.GetInt(section, key, 0);
            ini.GetUInt(section, key, 0);
        }
    }
    if (ini.Save(first) != 0) {
        std::abort();
    }
    vorn::IniFile again;
    if (again.Load(first) != 0 || again.Save(second) != 0) {
        std::abort();
    }
    if (Slurp(first) != Slurp(second)) {
        std::abort();
    }
    return 0;
}
