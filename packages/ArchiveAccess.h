#pragma once
// Reading package archives: single members over minizip (fast, touches only what is needed)
// and whole archives through the archive component.
#include <cstdint>
#include <string>
#include <vector>

#include "lib/Operator.h"
#include "packages/PackageState.h"

namespace vorn {

inline constexpr const char* kPackagePassword = "trovemlaku~!@#$%";
// The older package password, also the only password of configuration backups.
inline constexpr const char* kOlderPackagePassword = "plumhardens";

enum class PackageKind { Single, Combined };

// 0: the member was written to `destination`; 2: the archive holds no member of exactly that
// name; otherwise the archive library's (negative) error. The destination is replaced only
// by a member that decrypted and passed its CRC check.
int ExtractSingleMember(const std::string& archive, const std::string& password,
                        const std::string& member, const std::string& destination);

// Extracts the fixed member list of the kind ("unpkg" or "compose_unpkg") from `archive`.
bool ExtractMemberSet(PackageKind kind, const std::string& archive);

// Extracts every member of `archive` into the working folder `folder` with the current, then
// the older password. A refusal of the archive itself (unsafe member names) is shown in red
// and kept in m_lastErrorText.
bool ExtractWholePackage(PackageState& state, Operator& op, const std::string& archive,
                         const std::string& folder);

struct ArchiveMember {
    std::string name;
    std::uint64_t size = 0;  // uncompressed
    std::uint64_t packedSize = 0;
    bool encrypted = false;
};
// The member list of an archive (which may sit behind leading bytes); false when it cannot be
// read.
bool ListArchiveMembers(const std::string& archive, std::vector<ArchiveMember>& members);

}  // namespace vorn
