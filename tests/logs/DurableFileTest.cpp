// DurableFile on the file systems it meets less often, forced here by
// wrapping the system calls it makes (the binary links with --wrap): one
// without RENAME_NOREPLACE, a program that removes a new temporary file
// before its lock is taken, and one whose folder entries carry inode numbers
// other than the files' own.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <string>

#include "DurableFile.h"

namespace {

bool noRenameFlag = false;        // renameat2 answers as on a file system without its flags
int removeBeforeLock = 0;         // the next so many locks find their file's name removed
bool foreignEntryInodes = false;  // readdir's d_ino differs from the file's inode

}  // namespace

extern "C" {
int __real_renameat2(int, const char*, int, const char*, unsigned int);
int __real_flock(int, int);
dirent* __real_readdir(DIR*);

int __wrap_renameat2(int fromDir, const char* from, int toDir, const char* to,
                     unsigned int flags) {
    if (noRenameFlag && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return __real_renameat2(fromDir, from, toDir, to, flags);
}

int __wrap_flock(int fd, int operation) {
    if (removeBeforeLock > 0 && (operation & LOCK_EX) != 0) {
        --removeBeforeLock;
        char name[PATH_MAX] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        if (::readlink(link.c_str(), name, sizeof name - 1) > 0) ::unlink(name);
    }
    return __real_flock(fd, operation);
}

dirent* __wrap_readdir(DIR* dir) {
    dirent* entry = __real_readdir(dir);
    if (entry && foreignEntryInodes) entry->d_ino += 1000003;
    return entry;
}
}

namespace {

std::string read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

QStringList names(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

TEST(DurableFile, PlacesWithoutReplacingWhereRenameHasNoFlags) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    noRenameFlag = true;
    zelvar::DurableFile first(folder, "a.hex");
    first.write("first");
    first.finish();
    EXPECT_TRUE(first.place(folder + "/a.hex", zelvar::Placement::KeepExisting));
    zelvar::DurableFile second(folder, "a.hex");
    second.write("second");
    second.finish();
    EXPECT_FALSE(second.place(folder + "/a.hex", zelvar::Placement::KeepExisting));
    noRenameFlag = false;
    EXPECT_EQ(read(dir.filePath(QStringLiteral("a.hex"))), "first");
    // The first file's temporary name went once the second stood; the
    // second file's stays until it is given up.
    EXPECT_EQ(names(dir).size(), 2);
}

TEST(DurableFile, MakesAnotherTemporaryFileWhenItsNameWasRemovedBeforeTheLock) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    removeBeforeLock = 2;
    {
        zelvar::DurableFile file(folder, "a.hex");
        EXPECT_EQ(removeBeforeLock, 0);
        file.write("kept");
        file.finish();
        EXPECT_TRUE(file.place(folder + "/a.hex", zelvar::Placement::KeepExisting));
    }
    EXPECT_EQ(read(dir.filePath(QStringLiteral("a.hex"))), "kept");
    EXPECT_EQ(names(dir), QStringList{QStringLiteral("a.hex")});
}

TEST(DurableFile, FindsItsFileWhereFolderEntriesCarryOtherInodes) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    zelvar::DurableFile file(folder, "a.journal");
    file.finish();
    ASSERT_TRUE(file.place(folder + "/a.journal", zelvar::Placement::KeepExisting));
    foreignEntryInodes = true;
    const bool held = zelvar::FolderHolds(folder, ".journal", file.device(), file.inode());
    const bool heldElsewhere = zelvar::FolderHolds(folder, ".hex", file.device(), file.inode());
    foreignEntryInodes = false;
    EXPECT_TRUE(held);
    EXPECT_FALSE(heldElsewhere);
}
