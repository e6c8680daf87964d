// Times one package operation the way the program runs it, for bench/packages_vs_tools.sh:
//   bench_packages envelope PACKAGE.ssu   envelope check (copy of the body + MD5)
//   bench_packages extract  ARCHIVE       whole extraction through the archive component
// Prints "seconds=<wall time> maxrss_kb=<peak resident set>" on success.
#include <sys/resource.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/QuietOperator.h"
#include "lib/Operator.h"
#include "packages/ArchiveAccess.h"
#include "packages/Envelope.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"

namespace {

class PrintOperator : public vorn::CQuietOperator {
public:
    void AppendConsole(const std::string& text, std::uint32_t) override {
        std::fputs(text.c_str(), stderr);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 3) {
        std::fputs("usage: bench_packages envelope|extract FILE [WORKDIR]\n", stderr);
        return 2;
    }
    std::string error;
    if (!vorn::LoadZipBridge(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    QTemporaryDir scratch(argc == 4 ? QString(argv[3]) + "/bench-XXXXXX" : QString());
    vorn::SetProgramFolderForTests(scratch.path().toStdString());
    PrintOperator op;
    vorn::PackageState state;
    auto start = std::chrono::steady_clock::now();
    bool ok = false;
    if (std::strcmp(argv[1], "envelope") == 0) {
        ok = vorn::CheckSinglePackageEnvelope(state, op, argv[2], "bench.ssu");
    } else if (std::strcmp(argv[1], "extract") == 0) {
        ok = vorn::ExtractWholePackage(state, op, argv[2], "unpkg");
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    if (!ok) {
        std::fprintf(stderr, "bench_packages: %s failed\n", argv[1]);
        return 1;
    }
    std::printf("seconds=%.3f maxrss_kb=%ld\n", seconds, ru.ru_maxrss);
    return 0;
}
