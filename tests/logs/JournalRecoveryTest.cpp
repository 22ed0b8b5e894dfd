// Recovering the journals a run left behind: a kill at any moment of it
// saves every package once, files that are no journal of ours are set aside
// unread or left alone, and temporary files are removed only once their
// writer is gone.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "DurableFile.h"
#include "JournalRecovery.h"

namespace {

std::string fileText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const QString& path, const std::string& bytes) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << bytes;
}

// A journal of `count` packages, each line told apart by its stamp.
std::string journalLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%d$%08X\t00 00 00 00 77\r\n", 1 + i % 4, 0x10000000 + i);
        lines += line;
    }
    return lines;
}

// How often each line stands among the folder's files of that ending.
std::map<std::string, int> linesIn(const QString& folder, const QString& ending) {
    std::map<std::string, int> seen;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*") + ending}, QDir::Files)) {
        std::istringstream lines(fileText(QDir(folder).filePath(name)));
        for (std::string line; std::getline(lines, line);) ++seen[line];
    }
    return seen;
}

zelvar::FaultPoint killAt = zelvar::FaultPoint::RecoveryMidway;

void killHere(zelvar::FaultPoint point) {
    if (point == killAt) ::raise(SIGKILL);
}

}  // namespace

// A recovery killed at any moment, and the one of the next start: every
// package stands once among the .hex files, and in one .txt at most; no
// temporary file is left.
TEST(JournalRecovery, AKillAnywhereSavesEveryPackageOnce) {
    constexpr int kPackages = 20000;
    const std::string journal = journalLines(kPackages);
    for (const zelvar::FaultPoint point :
         {zelvar::FaultPoint::RecoveryMidway, zelvar::FaultPoint::HexPlaced,
          zelvar::FaultPoint::TextPlaced, zelvar::FaultPoint::BeforeRelease}) {
        SCOPED_TRACE(static_cast<int>(point));
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("zelvar-1-2-3.journal")), journal);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            killAt = point;
            zelvar::SetFaultHook(killHere);
            zelvar::RecoverJournals(dir.path(), zelvar::Settings());
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the recovery never reached the fault point";

        zelvar::RecoverJournals(dir.path(), zelvar::Settings());
        const std::map<std::string, int> hex = linesIn(dir.path(), QStringLiteral(".hex"));
        EXPECT_EQ(hex.size(), std::size_t{kPackages});
        for (const auto& [line, times] : hex) ASSERT_EQ(times, 1) << line;
        EXPECT_LE(QDir(dir.path()).entryList({QStringLiteral("*.txt")}).size(), 1);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                  QDir(dir.path()).entryList({QStringLiteral("*.hex"), QStringLiteral("*.txt")})
                      .size());
    }
}

// Files that no run of this program wrote as its journal: those named like
// one are set aside as .bad, with a word why, and nothing of them is
// recovered; any other is left alone.
TEST(JournalRecovery, WhatIsNoJournalOfOursIsSetAsideOrLeftAlone) {
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const QString fifo = folder.filePath(QStringLiteral("zelvar-1-2-3.journal"));
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    const QString zero = folder.filePath(QStringLiteral("zelvar-1-2-4.journal"));
    ASSERT_EQ(::symlink("/dev/zero", zero.toUtf8().constData()), 0);
    ASSERT_TRUE(folder.mkdir(QStringLiteral("zelvar-1-2-5.journal")));
    const QString huge = folder.filePath(QStringLiteral("zelvar-1-2-6.journal"));
    {
        const int fd = ::open(huge.toUtf8().constData(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 40), 0);  // sparse: takes no room
        ::close(fd);
    }
    writeFile(folder.filePath(QStringLiteral("zelvar-1-2-7.journal")),
              std::string(1 << 20, '7') + "\r\n");  // no package line is this long
    writeFile(folder.filePath(QStringLiteral("notes.journal")), "1$F4BEE070\t00 00 00 00 77\r\n");
    // Lines of no form the program writes: random bytes, and a hand-made line
    // after one of ours.
    std::mt19937 random(27);
    std::string noise(5000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    writeFile(folder.filePath(QStringLiteral("zelvar-1-2-8.journal")), noise);
    writeFile(folder.filePath(QStringLiteral("zelvar-1-2-9.journal")),
              "1$F4BEE070\t00 00 00 00 77\r\n2$F4BEE071\t00 00 0g 00 77\r\n");

    const std::vector<zelvar::RecoveredJournal> told =
        zelvar::RecoverJournals(dir.path(), zelvar::Settings());
    int setAside = 0;
    for (const zelvar::RecoveredJournal& journal : told) setAside += !journal.error.isEmpty();
    EXPECT_EQ(setAside, 7);
    EXPECT_EQ(folder.entryList({QStringLiteral("*.journal.bad")}, QDir::AllEntries | QDir::System)
                  .size(),
              7);
    char target[32] = {};
    EXPECT_GT(::readlink((zero + ".bad").toUtf8().constData(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/dev/zero");
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("notes.journal"))).exists());
    EXPECT_TRUE(folder.entryList({QStringLiteral("*.hex"), QStringLiteral("*.txt")}).isEmpty());
}

// A program starting while another one saves leaves that save's temporary
// file alone; one whose writer was killed goes.
TEST(JournalRecovery, OnlyTemporariesOfGoneWritersAreRemoved) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        zelvar::DurableFile killed(folder, "killed.txt");
        killed.write("half a log");
        ::raise(SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    zelvar::DurableFile saving(folder, "saving.txt");
    saving.write("a log being saved");

    zelvar::RecoverJournals(dir.path(), zelvar::Settings());
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(QDir(dir.path()).filePath(left[0]).toStdString(), saving.path());
}

// A recovery stopped by a close leaves the journal whole and nothing else;
// the next start recovers it once and counts its packages, not its lines.
TEST(JournalRecovery, AStoppedRecoveryIsFinishedOnceByTheNext) {
    constexpr int kPackages = 20000;
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("zelvar-1-2-3.journal"));
    writeFile(journal, journalLines(kPackages));
    std::atomic<bool> stop{false};
    zelvar::RecoveryControl control;
    control.stop = &stop;
    control.progress = [&](int) { stop = true; };
    EXPECT_TRUE(zelvar::RecoverJournals(dir.path(), zelvar::Settings(), control).empty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("zelvar-1-2-3.journal")});

    const std::vector<zelvar::RecoveredJournal> told =
        zelvar::RecoverJournals(dir.path(), zelvar::Settings());
    ASSERT_EQ(told.size(), 1U);
    EXPECT_EQ(told[0].packages, kPackages);
    EXPECT_EQ(linesIn(dir.path(), QStringLiteral(".hex")).size(), std::size_t{kPackages});
    EXPECT_FALSE(QFileInfo::exists(journal));
}
