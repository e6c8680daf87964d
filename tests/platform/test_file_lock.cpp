#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <filesystem>

#include "platform/FileLock.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

// Runs the probe in another process (fcntl locks are per process) and returns its exit code.
int ProbeOnce(const fs::path& lockFile, QByteArray* out = nullptr) {
    QProcess p;
    p.start(VORN_LOCK_PROBE, {QString::fromStdString(lockFile.string())});
    if (!p.waitForFinished(10000)) {
        return -1;
    }
    if (out) *out = p.readAllStandardOutput().trimmed();
    return p.exitCode();
}

TEST(FileLock, SecondProcessIsRefusedWhileHeld) {
    QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "KELMORA_Updater.lock";
    CFileLock lock;
    ASSERT_EQ(lock.acquire(file), LockStatus::Locked);
    EXPECT_TRUE(lock.held());
    EXPECT_TRUE(fs::exists(file));
    QByteArray out;
    EXPECT_EQ(ProbeOnce(file, &out), 1);
    EXPECT_EQ(out, "busy");
    // A refused attempt leaves the holder's file in place.
    EXPECT_TRUE(fs::exists(file));
    lock.release();
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(ProbeOnce(file, &out), 0);
    EXPECT_EQ(out, "locked");
    EXPECT_FALSE(fs::exists(file));  // the probe released (and deleted) it on exit
}

TEST(FileLock, HeldByAnotherProcessThenFreed) {
    QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "KELMORA_Updater.lock";
    QProcess holder;
    holder.start(VORN_LOCK_PROBE, {QString::fromStdString(file.string()), "hold"});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readLine().trimmed(), "locked");
    CFileLock lock;
    EXPECT_EQ(lock.acquire(file), LockStatus::Busy);
    EXPECT_FALSE(lock.held());
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(holder.exitCode(), 0);
    EXPECT_EQ(lock.acquire(file), LockStatus::Locked);
}

TEST(FileLock, ExistingStaleFileIsTakenOver) {
    // A file left behind by a crashed run carries no lock.
    QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "KELMORA_Updater.lock";
    { std::FILE* f = std::fopen(file.c_str(), "w"); ASSERT_TRUE(f); std::fputs("old", f); std::fclose(f); }
    CFileLock lock;
    EXPECT_EQ(lock.acquire(file), LockStatus::Locked);
}

TEST(FileLock, UnopenableFileIsAnErrorNotBusy) {
    QTemporaryDir dir;
    CFileLock lock;
    const fs::path missing = fs::path(dir.path().toStdString()) / "no-such-folder" / "x.lock";
    EXPECT_EQ(lock.acquire(missing), LockStatus::Failed);
    EXPECT_EQ(lock.error(), ENOENT);
    EXPECT_FALSE(lock.held());
    // A folder of that name cannot be opened for writing either.
    EXPECT_EQ(lock.acquire(fs::path(dir.path().toStdString())), LockStatus::Failed);
    EXPECT_EQ(lock.error(), EISDIR);
}

}  // namespace
}  // namespace vorn
