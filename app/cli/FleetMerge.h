#pragma once
// What a worker leaves in its own folder that belongs elsewhere: its local update history
// lines and its automatic backups (into the real data folder), the backup of a fleet backup
// (into the chosen folder). Only the fleet process merges, one worker at a time. Merging never
// replaces or deletes a file that is there: a taken name gets a counter. The worker's files
// stay where they are; its folder is removed once everything was kept.
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/FleetList.h"

namespace vorn::cli {

// Appends the worker's local history lines to the real one, each line in one write. False
// (and the reason) when the lines could not all be written.
bool MergeHistory(const std::filesystem::path& scratch, std::string& error);

// Copies `source` into `folder` under `name` (or "<stem>-2<ext>", ... when that is taken),
// complete and flushed to the disk before it takes its name. The kept path, or "" with `error`
// set.
std::string KeepFile(const std::filesystem::path& source, const std::filesystem::path& folder,
                     const std::string& name, std::string& error);

// Names of the backups of a fleet run: the gateway's address, its port, its name from the
// gateways file (sanitised), the version it reported and the time the backup was written.
//   automatic backup:  "(ADDR-PORT NAME)VERSION(yy.mm.dd HH-MM-SS).bcf"
//   fleet backup:      "kelmora_ADDR-PORT_NAME_VERSION_YYYYMMDD-HHMMSS.bcf"
// Without a name the NAME part and its separator are left out; an empty version is "unknown".
std::string FleetAutoBackupName(const FleetGateway& g, const std::string& version,
                                std::time_t written);
std::string FleetBackupName(const FleetGateway& g, const std::string& version, std::time_t written);
// When a file was last written (now when it cannot be read).
std::time_t FileWrittenAt(const std::filesystem::path& file);
// The name of the gateways file as a part of a file name: control characters, blanks,
// parentheses and the characters a file name cannot hold become "_"; at most 40 bytes.
std::string SafeGatewayName(const std::string& name);

// Copies the worker's automatic backups into the real "autobak" under FleetAutoBackupName and
// prunes that folder to the options' limit, never deleting a file of `runBackups` (the
// backups this run kept so far) or one just added. Adds the kept paths to `kept`; false (and
// the reasons) when a backup could not be kept.
bool MergeAutoBackups(const std::filesystem::path& scratch, const FleetGateway& g,
                      const std::string& version, const std::vector<std::string>& runBackups,
                      std::vector<std::string>& kept, std::string& error);

}  // namespace vorn::cli
