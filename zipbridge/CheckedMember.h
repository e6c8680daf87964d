#pragma once
// The one member extractor of every archive read (the archive component and the package
// code): a member is kept only when its length and CRC-32 match the central directory.
#include <string>

#include "unzip.h"

namespace vorn {

// Extracts the current member of `archive` to `destination` through a temporary file in the
// same folder, which then replaces the destination. Returns UNZ_OK, UNZ_ERRNO when the
// destination could not be written (`error` says why), or another minizip error when the
// member could not be opened, read, inflated or checked (wrong password included). On any
// error the temporary file is removed and an earlier destination file is left as it was.
int ExtractCheckedMember(unzFile archive, const char* password, const std::string& destination,
                         std::string& error);

}  // namespace vorn
