// Started by the launcher in tests. Writes VORN_PROBE_RECORD (atomically): its current folder,
// VORN_PROBE_TAG and its arguments, one per line. With VORN_PROBE_HOLD it then waits until that
// file exists and writes VORN_PROBE_RECORD + ".done", so a test can see it outlive the launcher.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const char* record = std::getenv("VORN_PROBE_RECORD");
    if (!record) {
        return 2;
    }
    {
        std::ofstream out(std::string(record) + ".tmp");
        const char* tag = std::getenv("VORN_PROBE_TAG");
        out << fs::current_path().string() << "\n" << (tag ? tag : "") << "\n";
        for (int i = 0; i < argc; ++i) {
            out << argv[i] << "\n";
        }
    }
    fs::rename(std::string(record) + ".tmp", record);
    if (const char* hold = std::getenv("VORN_PROBE_HOLD")) {
        for (int i = 0; i < 6000 && !fs::exists(hold); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ofstream(std::string(record) + ".done") << "done\n";
    }
    return 0;
}
