// Test helper: takes the lock file named by argv[1] from a separate process.
// Prints "locked", "busy" or "failed <errno>" and exits 0, 1 or 2. With "hold" as argv[2]
// it keeps a taken lock until its standard input closes, then releases it.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/FileLock.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 3;
    }
    vorn::CFileLock lock;
    switch (lock.acquire(argv[1])) {
        case vorn::LockStatus::Busy: std::puts("busy"); return 1;
        case vorn::LockStatus::Failed: std::printf("failed %d\n", lock.error()); return 2;
        case vorn::LockStatus::Locked: break;
    }
    std::puts("locked");
    std::fflush(stdout);
    if (argc > 2 && std::strcmp(argv[2], "hold") == 0) {
        char c;
        while (read(0, &c, 1) > 0) {
        }
    }
    return 0;
}
