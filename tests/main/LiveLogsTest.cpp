// The live logs without a window: the system's reason for a failed write,
// the journal's locks and segments, and what a failed background save keeps.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <sstream>

#include "LiveJournal.h"
#include "LogFile.h"
#include "LogSaveControl.h"

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

// A full disk: the message carries the system's words, and the older file of
// that name is left as it was. Needs a small file system of its own, which
// only a process allowed to mount can make.
TEST(LogFile, FullDiskShowsTheSystemsReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string mountPoint = dir.path().toStdString();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string report;
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
            report = "skip";
        } else {
            const QString path = dir.filePath(QStringLiteral("log.txt"));
            zelvar::WriteLogFile(path, QByteArray("older\r\n"));
            try {
                zelvar::WriteLogFile(path, QByteArray(1 << 20, 'x'));
                report = "written";
            } catch (const zelvar::LogFileError& error) {
                report = error.text().toStdString() + "|" + fileText(path.toStdString());
            }
        }
        (void)!::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    ::waitpid(pid, nullptr, 0);
    if (report == "skip") GTEST_SKIP() << "cannot mount a small file system here";
    EXPECT_NE(report.find("No space left on device"), std::string::npos) << report;
    EXPECT_NE(report.find("|older\r\n"), std::string::npos) << report;
}

// A journal in use is never taken by another program; one left behind is,
// with every line, and is gone once released.
TEST(LiveJournal, OnlyAJournalLeftBehindIsTaken) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    {
        zelvar::LiveJournal journal(folder);
        journal.append("1$F4BEE070\t00 01");
        journal.append("2$F4BEE070\t00 02");
        journal.sync();
        ASSERT_EQ(journal.files().size(), 1U);
        EXPECT_TRUE(zelvar::TakeAbandonedJournals(folder).empty());
    }
    std::vector<zelvar::AbandonedJournal> left = zelvar::TakeAbandonedJournals(folder);
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(fileText(left[0].path), "1$F4BEE070\t00 01\r\n2$F4BEE070\t00 02\r\n");
    zelvar::ReleaseJournal(left[0]);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// A journal segment goes only with the save that holds its packages: a
// failed rollover keeps it until a later save works.
TEST(LogSaveControl, FailedSaveKeepsItsJournalUntilALaterSave) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QTemporaryDir dir;
    zelvar::LogSaveControl saving;
    int failures = 0;
    QObject::connect(&saving, &zelvar::LogSaveControl::backgroundSaveFailed,
                     [&failures] { ++failures; });
    saving.startJournal(dir.path());
    const QString missing = dir.filePath(QStringLiteral("no-such-folder/log"));

    saving.packageReceived("1$F4BEE070\t00 01");
    saving.saveInBackground(missing, {}, QByteArray("1$F4BEE070\t00 01\r\n"));
    saving.packageReceived("1$F4BEE070\t00 02");
    saving.saveInBackground(missing, {}, QByteArray("1$F4BEE070\t00 02\r\n"));
    saving.finishBackgroundSaves();
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(saving.failing());
    EXPECT_EQ(saving.unsavedPackages(), 2);
    saving.journal()->sync();
    EXPECT_EQ(saving.journal()->files().size(), 2U);

    saving.packageReceived("1$F4BEE070\t00 03");
    const QString rescued = dir.filePath(QStringLiteral("rescued"));
    saving.saveNow(rescued, false, {}, QByteArray("1$F4BEE070\t00 03\r\n"));
    EXPECT_EQ(fileText((rescued + ".hex").toStdString()),
              "1$F4BEE070\t00 01\r\n1$F4BEE070\t00 02\r\n1$F4BEE070\t00 03\r\n");
    EXPECT_FALSE(saving.failing());
    EXPECT_EQ(saving.unsavedPackages(), 0);
    saving.journal()->sync();
    EXPECT_TRUE(saving.journal()->files().empty());
}
