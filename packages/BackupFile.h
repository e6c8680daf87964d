#pragma once
// Configuration backup files (".bcf"): a zip archive with the comment below whose members
// "cfgversion" (first line: the gateway version it was saved from) and "cfgbk" (the gateway's
// configuration image) are encrypted with the older package password.
#include <string>

#include "lib/Operator.h"

namespace vorn {

inline constexpr const char* kBackupComment = "VORN GATEWAY CONFIG PKG";
inline constexpr const char* kBackupFilter = "Bak Files (*.bcf)|*.bcf|All Files (*.*)|*.*||";

// Packs "cfgversion" and "cfgbk" of the "tmp" folder into `target`. Returns the archive
// component's result; callers of the backup procedure do not act on it.
int WriteBackupFile(const std::string& target);
// Checks comment and password and reads the saved version (members land in "tmp").
bool VerifyBackupFile(const std::string& path, std::string& savedVersion);
// The restore check before a restore: verification, then the version comparison with the
// gateway (a difference asks the person). True when the restore may go on.
bool RestoreCheck(Operator& op, const std::string& path, const std::string& gatewayVersion);

// "kelmora_<address>_<YYYYMMDD>.bcf", offered in the save dialog.
std::string DefaultBackupName(const std::string& address);
// "(<address>)<version>(<yy.mm.dd HH-MM-SS>).bcf" in "autobak"; characters a file name cannot
// hold become "-"; an empty version uses `fallback`.
std::string AutoBackupPath(const std::string& address, const std::string& gatewayVersion,
                           const std::string& fallback);
// Keeps the newest `limit` automatic backups (a negative limit means 10).
void PruneAutoBackups(int limit);

}  // namespace vorn
