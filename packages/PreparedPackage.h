#pragma once
// A package checked and unpacked once for many updates (the workers of a fleet run), so each
// update reads the same unpacked files instead of checking and unpacking its own copy. What
// reaches a gateway is the same as with a package the update unpacks itself.
//
// The folder holds "unpkg" (a single package unpacked whole) or "compose_unpkg" (a combined
// package unpacked whole) and "members/N" (its member packages N = 1, 2, ... unpacked whole,
// listed in "members/index" as "N<TAB>member name" lines).
#include <cstdint>
#include <filesystem>
#include <string>

#include "lib/Operator.h"

namespace vorn {

// Checks `package` as an update does (envelope, members; for a combined package its plan and
// every member package) and unpacks it into `folder` (made here; it must not exist yet). Before
// each unpacking the free space of the folder's file system is checked. Runs with the folder
// as the data folder (its working folders are the unpacked ones). False with `error`.
bool UnpackPackage(const std::string& package, const std::filesystem::path& folder, Operator& op,
                   std::string& error);

// From now on the package loads of this process read the unpacked `folder` (read-only) for
// the package `package` instead of checking and unpacking it themselves. False with `error`
// when the folder holds no unpacked package of that kind.
bool UsePreparedPackage(const std::string& package, const std::filesystem::path& folder,
                        std::string& error);
bool PreparedPackageInUse();
// Package loads check and unpack their packages themselves again.
void StopUsingPreparedPackage();
// Points "unpkg" at the unpacked member package `memberPath` (a path in "compose_unpkg"). False
// when the plan has no such member.
bool SelectPreparedMember(const std::string& memberPath);
// The file name of the single package now in "unpkg" ("" before a member was selected).
std::string PreparedPackageName();
// Forgets the member selection (as before the first member was loaded).
void UnselectPreparedMember();

// Bytes the members of `archive` take unpacked; false when its member list cannot be read.
bool UnpackedSize(const std::string& archive, std::uint64_t& bytes);
// Free bytes for this user on the file system of `path`; false when unknown.
bool FreeSpace(const std::filesystem::path& path, std::uint64_t& bytes);

}  // namespace vorn
