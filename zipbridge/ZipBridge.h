#pragma once
/* The archive component: a shared library with a C interface that reads and writes zip
 * archives whose members carry traditional PKWARE encryption, and archive comments.
 *
 * Texts cross the interface as ZbText: a pointer and a byte count, passed by value for inputs
 * (the component copies what it needs during the call; the bytes need no terminating zero).
 * For outputs the caller owns the storage: `data` points to `capacity` bytes; the component
 * stores at most capacity - 1 bytes, terminates them with a zero and sets `size`. */
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZIPBRIDGE_BUILD)
#define ZIPBRIDGE_API __attribute__((visibility("default")))
#else
#define ZIPBRIDGE_API
#endif

typedef struct ZbText {
    char* data;
    size_t size;
    size_t capacity; /* outputs only */
} ZbText;

/* Results: 0 success, otherwise one of these. */
enum {
    ZB_OK = 0,
    ZB_ERR_PARAM = 1,       /* a missing argument */
    ZB_ERR_OPEN = 2,        /* the archive cannot be opened or is not a zip archive */
    ZB_ERR_READ = 3,        /* a member cannot be read: damaged data or wrong password */
    ZB_ERR_UNSAFE_NAME = 4, /* a member name would leave the destination folder */
    ZB_ERR_WRITE = 5,       /* a file cannot be written */
    ZB_ERR_SOURCE = 6       /* a file to add cannot be read */
};

/* Reads the archive comment into *comment and the names of the first members into the
 * name slots (one name per slot; unused slots get an empty text). */
ZIPBRIDGE_API int GetExtractFileInfo(ZbText archive, ZbText* names, int slotCount, int reserved,
                                     ZbText* comment);

/* Writes every member of the archive into destFolder under its member name, replacing files
 * of the same name. The archive may sit behind leading bytes. Member names that are absolute
 * or contain a ".." component refuse the whole archive before anything is written; a member
 * that does not decrypt and check out is never left behind. names, comment and flag are
 * accepted for the callers' sake and not used. */
ZIPBRIDGE_API int ExtractFile(ZbText archive, ZbText* names, int slotCount, int reserved,
                              ZbText* comment, ZbText destFolder, int flag, ZbText password);

/* Creates a new archive at `archive` holding the listed files under their base names,
 * encrypted with `password` (none when empty), with the archive comment `comment`. The archive
 * is written to a temporary file beside the target (owner-only, 0600), forced to the disk and
 * read back (the comment, and every member deciphered and inflated with the length and CRC of
 * its source); only then does it replace a file of the target's name, in one rename. On any
 * failure the temporary file is removed, an earlier file of that name is left as it was, and
 * ZipBridgeLastError() says why. */
ZIPBRIDGE_API int AddTozipFile(ZbText* files, int fileCount, ZbText archive, ZbText comment,
                               ZbText password);

/* The wording of the last failure on the calling thread ("" after a success). */
ZIPBRIDGE_API const char* ZipBridgeLastError(void);

#ifdef __cplusplus
}
#endif
