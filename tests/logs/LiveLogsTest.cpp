// The live logs without a window: the system's reason for a failed write,
// the journal's locks and segments, and what a failed background save keeps.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "LiveJournal.h"
#include "LogFile.h"
#include "LogSaveControl.h"
#include "LogWriter.h"

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `body` in a child process with `folder` made a tmpfs of `size` in a
// mount namespace of its own; gives what the body reports, or "skip" where
// this process may not mount.
std::string inSmallFileSystem(const std::string& folder, const char* size,
                              const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::string report;
        const std::string options = std::string("size=") + size;
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            report = "skip";
        } else {
            report = body();
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
    return report;
}

}  // namespace

// A full disk: the message carries the system's words, and the older file of
// that name is left as it was.
TEST(LogFile, FullDiskShowsTheSystemsReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string report = inSmallFileSystem(dir.path().toStdString(), "64k", [&] {
        const std::string path = dir.filePath(QStringLiteral("log.txt")).toStdString();
        zelvar::SaveWholeFile(path, path, {"older\r\n"});
        try {
            const std::string big(1 << 20, 'x');
            zelvar::SaveWholeFile(path, path, {big});
            return std::string("written");
        } catch (const zelvar::FileWriteError& error) {
            return std::string(error.what()) + "|" + fileText(path);
        }
    });
    if (report == "skip") GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    EXPECT_NE(report.find("No space left on device"), std::string::npos) << report;
    EXPECT_NE(report.find("|older\r\n"), std::string::npos) << report;
}

// A save under a chosen name writes through a symbolic link to its target,
// which keeps its mode; a file the user may not write is left alone.
TEST(LogFile, SaveKeepsLinkAndModeAndRefusesAReadOnlyFile) {
    QTemporaryDir dir;
    const std::string target = dir.filePath(QStringLiteral("kept.rtf")).toStdString();
    const std::string link = dir.filePath(QStringLiteral("link.rtf")).toStdString();
    std::ofstream(target) << "older";
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("kept.rtf", link.c_str()), 0);
    zelvar::SaveWholeFile(link, "link.rtf", {"new", "er"});
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(fileText(target), "newer");

    // Root may write any file.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(target.c_str(), 0440), 0);
        try {
            zelvar::SaveWholeFile(link, "link.rtf", {"lost"});
            ADD_FAILURE() << "a read-only file was replaced";
        } catch (const zelvar::FileWriteError& error) {
            EXPECT_STREQ(error.what(), "Cannot write file \"link.rtf\". Permission denied");
        }
        EXPECT_EQ(fileText(target), "newer");
    }
    // The file and its link, no temporary file.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files | QDir::System).size(), 2);
}

// Two programs saving in one folder in the same second, as at a log-out:
// every save keeps its own pair of files, never another's half.
TEST(LogFile, TwoProgramsSavingInTheSameSecondKeepEveryLog) {
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("20261209120000"));
    constexpr int kSaves = 100;
    pid_t children[2];
    for (int program = 0; program < 2; ++program) {
        children[program] = ::fork();
        ASSERT_GE(children[program], 0);
        if (children[program] != 0) continue;
        for (int i = 0; i < kSaves; ++i) {
            const QByteArray content = QByteArray::number(program) + "/" + QByteArray::number(i);
            zelvar::LogPair pair;
            pair.base = base;
            pair.freeName = true;
            pair.text << content + " text";
            pair.hex << content + " hex";
            zelvar::WriteLogPair(pair);
        }
        ::_exit(0);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> saves;
    int halves = 0;  // a .txt beside another save's .hex
    for (const QString& hex : QDir(dir.path()).entryList({QStringLiteral("*.hex")})) {
        const std::string hexText = fileText(dir.filePath(hex).toStdString());
        QString text = hex;
        text.replace(QStringLiteral(".hex"), QStringLiteral(".txt"));
        if (fileText(dir.filePath(text).toStdString()) !=
            hexText.substr(0, hexText.size() - 4) + " text")
            ++halves;
        saves.insert(hexText);
    }
    EXPECT_EQ(saves.size(), 2U * kSaves);
    EXPECT_EQ(halves, 0);
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

// A disk that fills while packages come in, and gets room again: the journal
// keeps every line it could not write, and completes a line cut short.
TEST(LiveJournal, AFullDiskLosesNoLineAndCutsNoneShort) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::string expected;
    for (int i = 0; i < 400; ++i) expected += "1$F4BEE070\t00 00 00 00 " + std::to_string(i) + "\r\n";
    const std::string report = inSmallFileSystem(folder, "64k", [&] {
        zelvar::LiveJournal journal(folder);
        {
            std::ofstream filler(folder + "/filler", std::ios::binary);
            const std::string block(1024, 'x');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {}
        }
        for (int i = 0; i < 400; ++i) {
            journal.append("1$F4BEE070\t00 00 00 00 " + std::to_string(i));
            if (i % 50 == 0) journal.sync();
        }
        journal.sync();
        const std::string failed = journal.failure();
        ::unlink((folder + "/filler").c_str());
        journal.sync();
        const std::vector<std::string> files = journal.files();
        if (files.size() != 1) return "files: " + std::to_string(files.size());
        return (failed.empty() ? "no failure|" : "failed|") + fileText(files[0]);
    });
    if (report == "skip") GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    EXPECT_EQ(report, "failed|" + expected);
}

// Rollovers held back by a failing folder are saved once it works again,
// without a Clear or a close.
TEST(LogSaveControl, HeldRolloversAreSavedOnceTheFolderWorksAgain) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    QTemporaryDir dir;
    zelvar::LogSaveControl saving(nullptr, std::chrono::milliseconds(20));
    saving.startJournal(dir.path());
    const QString later = dir.filePath(QStringLiteral("Files"));
    saving.packageReceived("1$F4BEE070\t00 01");
    saving.saveInBackground(later + "/20261209120000", {}, QByteArray("1$F4BEE070\t00 01\r\n"));
    saving.finishBackgroundSaves();
    ASSERT_TRUE(saving.failing());
    ASSERT_TRUE(QDir().mkpath(later));
    QElapsedTimer waited;
    waited.start();
    while (saving.failing() && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_FALSE(saving.failing());
    EXPECT_EQ(saving.unsavedPackages(), 0);
    const QStringList saved = QDir(later).entryList({QStringLiteral("*.hex")});
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(fileText(QDir(later).filePath(saved[0]).toStdString()), "1$F4BEE070\t00 01\r\n");
    saving.journal()->sync();
    EXPECT_TRUE(saving.journal()->files().empty());
}

// A journal at its bound takes no more lines, and says so until a save
// holds the lines it missed.
TEST(LiveJournal, AFullJournalShowsItsGapUntilASave) {
    QTemporaryDir dir;
    zelvar::LiveJournal journal(dir.path().toStdString(), {}, {}, 100);
    for (int i = 0; i < 10; ++i) journal.append("1$F4BEE070\t00 00 00 00 77");
    journal.sync();
    EXPECT_EQ(journal.droppedLines(), 7U);
    EXPECT_TRUE(journal.hasGap());
    EXPECT_EQ(fileText(journal.files().at(0)).size(), 3U * 27);
    journal.discardThrough(journal.rotate());
    EXPECT_FALSE(journal.hasGap());
    journal.append("1$F4BEE070\t00 00 00 00 78");
    journal.sync();
    EXPECT_EQ(journal.droppedLines(), 7U);
}
