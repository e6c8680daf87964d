#pragma once
// The rules of the options dialog without widgets: which proxy fields are checked, the
// message for the first problem, and the save of the accepted values through the temporary
// copy of the options file. The dialog shows the values and the message.
#include <filesystem>
#include <string>

#include "app/LoadOptions.h"
#include "app/OptionsFile.h"

namespace vorn {

// Fields of the dialog that a problem points at.
enum class OptionField { None, ProxyIp, ProxyPort, User, Password };

struct OptionProblem {
    std::string message;  // the text to show; "" for a problem that is only logged
    OptionField field = OptionField::None;
    bool failed = false;
    bool ok() const { return !failed; }
};

// Flags of CheckOption: which proxy fields to validate and store.
enum : int { kCheckProxyIp = 1, kCheckProxyPort = 2, kCheckUser = 4, kCheckPassword = 8 };

// Validates the fields named by `flags` in the order address, port, user name, password and
// stores them in `file`; stops at the first problem. Flags above 15 fail.
OptionProblem CheckOption(COptionFile& file, const OptionSettings& values, int flags);

// OK of the dialog: trims the proxy address and user name in `values`, stores every value in
// `file`, checks the proxy fields the proxy and authentication choices need, and writes the
// file at `path` through "<path>.tmp". A problem leaves the file on disk untouched; a file
// that cannot be written is a problem too (text 9206 with the reason).
OptionProblem AcceptOptions(COptionFile& file, OptionSettings& values,
                            const std::filesystem::path& path);

}  // namespace vorn
