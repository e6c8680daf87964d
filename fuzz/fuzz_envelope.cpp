// Envelope checks and header recognition on arbitrary package files.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "lib/QuietOperator.h"
#include "fuzz/FuzzProgramFolder.h"
#include "packages/Envelope.h"
#include "packages/PackageState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& home = vorn::fuzz::ScratchFolder();
    const std::string path = (home / "input.pkg").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vorn::CQuietOperator op;
    vorn::PackageState state;
    vorn::CheckSinglePackageEnvelope(state, op, path, "body.ssu");
    vorn::CheckCombinedPackageEnvelope(state, op, path, "body.cssu");
    vorn::HasCombinedHeader(path);
    return 0;
}
