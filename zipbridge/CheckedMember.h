#pragma once
// The one member extractor of every archive read (the archive component and the package
// code): a member is kept only when its length and CRC-32 match the central directory.
#include <string>

#include "unzip.h"

class QIODevice;

namespace vorn {

// Extracts the current member of `archive` to `destination` through a temporary file in the
// same folder, which then replaces the destination. `source` is the file `archive` was opened
// on: minizip checks the member's local header, its data is read from `source` directly.
// With a password the member is deciphered; the last byte of its 12-byte encryption header
// must match the top byte of its CRC or of its modification time (writers use either),
// otherwise the password is taken as wrong.
// Returns UNZ_OK, UNZ_ERRNO when the destination could not be written (`error` says why), or
// another minizip or zlib error when the member could not be opened, read, inflated or
// checked (wrong password included). On any error the temporary file is removed and an
// earlier destination file is left as it was.
int ExtractCheckedMember(unzFile archive, QIODevice& source, const char* password,
                         const std::string& destination, std::string& error);

// Reads the current member as ExtractCheckedMember does, without writing it anywhere: UNZ_OK
// when it deciphers, inflates and matches its stored length and CRC. `info` gets its
// central-directory record (sizes, CRC).
int ReadCheckedMember(unzFile archive, QIODevice& source, const char* password,
                      unz_file_info64& info);

}  // namespace vorn
