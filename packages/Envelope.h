#pragma once
// The integrity envelopes in front of package archive bodies.
//   ".ssu":  [0,33) Md5Hex of the body plus a zero byte, [33,..) zip archive
//   ".cssu": [0,4) magic 0x00007203 little-endian, [4,8) unused, [8,41) Md5Hex plus zero,
//            [41,48) unused, [48,..) zip archive
// Both checks stream the file and leave the body in the "tmp" working folder under the
// package's file name unless told not to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lib/Operator.h"
#include "packages/PackageState.h"

namespace vorn {

inline constexpr size_t kMd5FlagSize = 33;
inline constexpr size_t kCombinedHeaderSize = 48;
inline constexpr size_t kCombinedMd5Offset = 8;
inline constexpr std::uint32_t kCombinedMagic = 0x00007203;
static_assert(kCombinedMd5Offset + kMd5FlagSize <= kCombinedHeaderSize);

// With keepBody false the body is only digested, not copied: for a caller that reads the
// archive from the package itself. Verdict, messages and error texts are the same.
bool CheckSinglePackageEnvelope(PackageState& state, Operator& op, const std::string& path,
                                const std::string& fileName, bool keepBody = true);
bool CheckCombinedPackageEnvelope(PackageState& state, Operator& op, const std::string& path,
                                  const std::string& fileName, bool keepBody = true);

// True when the file opens, has 48 bytes and begins with the combined magic.
bool HasCombinedHeader(const std::string& path);

// The part of a path after its last separator.
std::string PackageFileName(const std::string& path);

}  // namespace vorn
