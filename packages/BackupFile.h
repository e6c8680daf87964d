#pragma once
// Configuration backup files (".bcf"): a zip archive with the comment below whose members
// "cfgversion" (first line: the gateway version it was saved from) and "cfgbk" (the gateway's
// configuration image) are encrypted with the older package password.
#include <cstddef>
#include <string>

#include "lib/Operator.h"

namespace vorn {

inline constexpr const char* kBackupComment = "VORN GATEWAY CONFIG PKG";
inline constexpr const char* kBackupFilter = "Bak Files (*.bcf)|*.bcf|All Files (*.*)|*.*||";

// Automatic backups kept when the options file sets no number (or a negative one).
inline constexpr int kDefaultAutoBackupLimit = 10;
// Bytes of the gateway version kept in an automatic backup's name: with the address, the
// time and a counter the name stays far below any file system's limit.
inline constexpr std::size_t kMaxVersionInBackupName = 64;

// Packs "cfgversion" and "cfgbk" of the "tmp" folder into `target`. Returns the archive
// component's result: 0 only when the new file is complete on the disk and reads back (see
// AddTozipFile); otherwise `error` (when given) says why, and an earlier file at `target` is
// unchanged.
int WriteBackupFile(const std::string& target, std::string* error = nullptr);
// Deletes the configuration copies a backup or a restore left in "tmp" ("cfgbk",
// "cfgversion"); nothing else of the folder.
void RemoveBackupCopies();
// Checks comment and password and reads the saved version (members land in "tmp").
bool VerifyBackupFile(const std::string& path, std::string& savedVersion);
// The restore check before a restore: verification, then the version comparison with the
// gateway (a difference asks the person). True when the restore may go on.
bool RestoreCheck(Operator& op, const std::string& path, const std::string& gatewayVersion);

// "kelmora_<address>_<YYYYMMDD>.bcf", offered in the save dialog.
std::string DefaultBackupName(const std::string& address);
// `wanted` when nothing has that name; otherwise the first free "<stem>-2<ext>",
// "<stem>-3<ext>", ... beside it, so an earlier backup of the same day is never replaced.
std::string FreeBackupName(const std::string& wanted);
// "(<address>)<version>(<yy.mm.dd HH-MM-SS>).bcf" in "autobak", made free by FreeBackupName;
// characters a file name cannot hold become "-"; an empty version uses `fallback`; the
// version is cut to kMaxVersionInBackupName bytes (never inside a UTF-8 character).
std::string AutoBackupPath(const std::string& address, const std::string& gatewayVersion,
                           const std::string& fallback);
// Keeps the newest `limit` automatic backups (a negative limit means
// kDefaultAutoBackupLimit).
void PruneAutoBackups(int limit);

}  // namespace vorn
