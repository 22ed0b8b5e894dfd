#pragma once

// A program killed at a chosen moment of saving or recovering, and the count
// of what the folder holds afterwards; shared by the fault tests and the
// bench that repeats them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <map>
#include <string>

#include "DurableFile.h"
#include "JournalRecovery.h"
#include "LiveJournal.h"
#include "LogSaveControl.h"

namespace zelvar::faults {

inline FaultPoint& killPoint() {
    static FaultPoint point;
    return point;
}

inline void killHere(FaultPoint point) {
    if (point == killPoint()) ::kill(::getpid(), SIGKILL);
}

inline std::string packageLine(int i) {
    char line[64];
    std::snprintf(line, sizeof line, "%d$F4BEE070\t00 00 %02X %02X %02X 77", i % 4 + 1,
                  (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
    return line;
}

// A running program: `packages` journaled (and on the disk), then a rollover
// with the hex log on; with `save` false it is killed before saving.
[[noreturn]] inline void receiveAndRollOver(const QString& folder, int packages, bool save,
                                            FaultPoint point) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    LogSaveControl saving;
    saving.startJournal(folder);
    QByteArray text;
    QByteArray hex;
    for (int i = 0; i < packages; ++i) {
        saving.packageReceived(packageLine(i));
        hex += QByteArray::fromStdString(packageLine(i)) + "\r\n";
        text += "text " + QByteArray::number(i) + "\r\n";
    }
    saving.journal()->sync();
    if (!save) ::kill(::getpid(), SIGKILL);
    killPoint() = point;
    SetFaultHook(killHere);
    saving.saveInBackground(folder + "/20261209120000", text, hex);
    saving.finishBackgroundSaves();
    ::_exit(3);
}

// The start-up recovery of `folder`, killed at `point` when it gets there.
[[noreturn]] inline void recoverAndDie(const QString& folder, FaultPoint point) {
    killPoint() = point;
    SetFaultHook(killHere);
    RecoverJournals(folder, Settings());
    ::_exit(3);
}

// Runs `body` in a child process; true when the child was killed by SIGKILL.
template <typename Body>
bool killedInChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) body();
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// How often each package line stands among the folder's .hex files.
inline std::map<std::string, int> packagesInHexFiles(const QString& path) {
    std::map<std::string, int> seen;
    const QDir folder(path);
    for (const QString& name : folder.entryList({QStringLiteral("*.hex")})) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) ++seen[line.trimmed().toStdString()];
        }
    }
    return seen;
}

}  // namespace zelvar::faults
