#pragma once
// The rules of the load page's Next without widgets: which package paths are refused and the
// "UPDATE_TYPE" record written before an update starts.
#include <string>

namespace vorn {

// Trims the path in place; 0 when it may be installed, else the number of the refusal text:
// 103 (a combined package with the pre-upgrade check, refused before the file is looked at)
// or 6674 (missing, or a folder).
int CheckPackagePath(std::string& path, bool preCheck);

// Writes "UPDATE_TYPE" = "local" into the options file through its temporary copy. 0, or the
// system error number of the failed move (a failed write is logged and not reported).
int SaveUpdateTypeLocal();

}  // namespace vorn
