// Upload throughput: a 64 MB file through the session to the simulator over loopback, printed
// as MB/s and as a ratio to the CDES enciphering rate (budget: at least 0.6), with the resident
// set before and after (it must stay flat: the file is streamed, never held whole). The CPU
// times of both sides are printed too, so a run on a busy machine can still be judged.
//
//   bench_upload [MEGABYTES]     exit status 1 when the budget is missed
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "lib/QuietOperator.h"
#include "lib/Operator.h"
#include "link/CDES.h"
#include "link/CGatewaySession.h"
#include "platform/ProgramFolder.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace {

using namespace vorn;

constexpr double kBudget = 0.6;

// put -> data -> putover, as every procedure runs an upload.
struct Upload : CProcedureHandler {
    CGatewaySession* s = nullptr;
    std::string local;
    int result = -1;
    bool done = false;
    bool OnResult(int r, const std::optional<std::string>&) override {
        if (s->SessionStep == 44 && r == 0 && s->PutFile(local)) {
            s->SendPutOver();
            s->SessionStep = 45;
            return true;
        }
        result = s->SessionStep == 45 ? r : -1;
        done = true;
        s->EndProcedure();
        return true;
    }
    bool OnGetOver() override { return false; }
};

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// CPU seconds of the calling thread (the updater's side of the link).
double ThreadCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of the whole process (the simulator's thread included).
double ProcessCpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long PeakResidentKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// CDES on 1024-byte pieces in 1029-byte records (the largest the link sends): MB of payload
// per second of wall-clock time; *cpuRate gets the same per second of CPU time.
double CdesRate(double* cpuRate) {
    const double cpu0 = ThreadCpuSeconds();
    std::vector<std::uint8_t> plain(1029), out(CDES::EncodedSize(1029));
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i);
    QElapsedTimer t;
    t.start();
    std::uint64_t bytes = 0;
    while (t.elapsed() < 1500) {
        for (int i = 0; i < 256; ++i) {
            CDES::enc(kLinkKey, plain.data(), plain.size(), out.data());
            plain[0] ^= out[5];
        }
        bytes += 256 * 1024;  // payload bytes, as the upload counts them
    }
    *cpuRate = static_cast<double>(bytes) / (1 << 20) / (ThreadCpuSeconds() - cpu0);
    return static_cast<double>(bytes) / (1 << 20) / (static_cast<double>(t.nsecsElapsed()) / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    SetProgramFolderForTests(folder + "/prog");

    const std::string local = folder + "/upload.bin";
    {
        std::ofstream out(local, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        for (std::uint64_t m = 0; m < megabytes; ++m) {
            for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7 + m);
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }

    GatewaySimConfig cfg;
    cfg.root = folder + "/root";
    CGatewaySim sim(cfg);
    if (!sim.Start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.LastError().c_str());
        return 2;
    }
    CQuietOperator op;
    CGatewaySession session(&op);
    session.ConnectGateway("127.0.0.1", "admin", sim.Port());
    QElapsedTimer wait;
    wait.start();
    while (!(session.Connected && session.SessionState == 0) && wait.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!session.Connected) {
        std::fprintf(stderr, "login failed\n");
        return 2;
    }

    Upload up;
    up.s = &session;
    up.local = local;
    session.RegisterProcedure(9, &up);
    // The machine's load can change during the run: the CDES rate is measured on both sides
    // of the upload and averaged.
    double cdesCpuBefore = 0, cdesCpuAfter = 0;
    const double cdesBefore = CdesRate(&cdesCpuBefore);
    const long rssBefore = ResidentKb();
    const double cpuBefore = ThreadCpuSeconds();
    const double processCpuBefore = ProcessCpuSeconds();
    QElapsedTimer t;
    t.start();
    session.SessionState = 9;
    session.SessionStep = 44;
    session.RequestPut("/stmp/bench.bin");
    while (!up.done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    const double simCpu = ProcessCpuSeconds() - processCpuBefore - cpu;
    const long rssAfter = ResidentKb();
    if (up.result != 0) {
        std::fprintf(stderr, "upload failed (%d)\n", up.result);
        return 2;
    }
    const double uploadRate = static_cast<double>(megabytes) / seconds;
    const double cdesRate = (cdesBefore + CdesRate(&cdesCpuAfter)) / 2;
    const double cdesCpuRate = (cdesCpuBefore + cdesCpuAfter) / 2;
    const double ratio = uploadRate / cdesRate;
    std::printf("upload %llu MB in %.2f s: %.1f MB/s\n", static_cast<unsigned long long>(megabytes),
                seconds, uploadRate);
    std::printf("updater thread CPU during the upload: %.2f s (%.1f MB/s of its own time)\n", cpu,
                static_cast<double>(megabytes) / cpu);
    std::printf("simulator side CPU during the upload: %.2f s\n", simCpu);
    std::printf("CDES enciphering: %.1f MB/s (%.1f MB/s per CPU second)\n", cdesRate, cdesCpuRate);
    std::printf("ratio upload/CDES: %.2f (budget >= %.2f) %s\n", ratio, kBudget,
                ratio >= kBudget ? "OK" : "MISSED");
    // With both sides on a core of their own the wall time is the larger of the two CPU times.
    const double uncontended = static_cast<double>(megabytes) / std::max(cpu, simCpu) / cdesCpuRate;
    std::printf("ratio from CPU times (both sides on a free core): %.2f\n", uncontended);
    std::printf(
        "resident set: %ld kB before, %ld kB after, %ld kB peak (process, simulator "
        "included)\n",
        rssBefore, rssAfter, PeakResidentKb());
    sim.Stop();
    return ratio >= kBudget ? 0 : 1;
}
