#pragma once
// Loading of the archive component (libzipbridge) at start. The program refuses to start
// without it; package functions call it through ZipBridgeApi().
#include <filesystem>
#include <string>

#include "zipbridge/ZipBridge.h"

namespace vorn {

struct ZipBridgeFunctions {
    int (*GetExtractFileInfo)(ZbText, ZbText*, int, int, ZbText*);
    int (*ExtractFile)(ZbText, ZbText*, int, int, ZbText*, ZbText, int, ZbText);
    int (*AddTozipFile)(ZbText*, int, ZbText, ZbText, ZbText);
    const char* (*LastError)();
};

inline constexpr const char* kZipBridgeFileName = "libzipbridge.so";

// Loads the component from `explicitPath` when given, else from the folder of the running
// executable, then from the program folder. Loading twice is harmless. On failure `error`
// says what is missing.
bool LoadZipBridge(std::string& error, const std::filesystem::path& explicitPath = {});
// The loaded functions, or null before a successful LoadZipBridge.
const ZipBridgeFunctions* ZipBridgeApi();

// Counted texts over std::string storage (inputs) and over a caller buffer (outputs).
ZbText ZbIn(const std::string& s);

}  // namespace vorn
