// The saves under the two threats a log-out brings: two programs saving into
// one folder in the same second, and a kill -9 at each step of a rollover
// save or of the recovery that follows. Prints what was lost or doubled
// (both must be 0) and the time per round.
//
//   bench_save_safety [ROUNDS]     (default: 100 races, 20 kills per step)
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "LogWriter.h"
#include "ProcessUsage.h"
#include "SaveFaults.h"

namespace {

using zelvar::FaultPoint;
namespace faults = zelvar::faults;

// Both programs wait at one pipe and save the same stamp at once.
int raceRound() {
    QTemporaryDir dir;
    int gate[2];
    if (::pipe(gate) != 0) std::abort();
    pid_t children[2];
    for (int program = 0; program < 2; ++program) {
        children[program] = ::fork();
        if (children[program] != 0) continue;
        ::close(gate[1]);
        char go;
        (void)!::read(gate[0], &go, 1);
        zelvar::LogPair pair;
        pair.base = dir.filePath(QStringLiteral("20261209120000"));
        pair.freeName = true;
        pair.text << QByteArray::number(program) + " text";
        pair.hex << QByteArray::number(program) + " hex";
        zelvar::WriteLogPair(pair);
        ::_exit(0);
    }
    ::close(gate[0]);
    ::close(gate[1]);  // both start now
    for (const pid_t child : children) ::waitpid(child, nullptr, 0);
    int lost = 2;
    for (const QString& hex : QDir(dir.path()).entryList({QStringLiteral("*.hex")})) {
        QString text = hex;
        text.replace(QStringLiteral(".hex"), QStringLiteral(".txt"));
        QFile hexFile(dir.filePath(hex));
        QFile textFile(dir.filePath(text));
        if (!hexFile.open(QIODevice::ReadOnly) || !textFile.open(QIODevice::ReadOnly)) continue;
        if (hexFile.readAll().left(1) == textFile.readAll().left(1)) --lost;
    }
    return lost;
}

struct KillOutcome {
    std::size_t missing = 0;
    std::size_t doubled = 0;
    bool killed = false;
};

KillOutcome killRound(FaultPoint point, int packages) {
    QTemporaryDir dir;
    KillOutcome outcome;
    const bool duringRecovery = point == FaultPoint::RecoveryMidway;
    outcome.killed = faults::killedInChild(
        [&] { faults::receiveAndRollOver(dir.path(), packages, !duringRecovery, point); });
    if (duringRecovery) {
        outcome.killed = faults::killedInChild([&] { faults::recoverAndDie(dir.path(), point); });
    }
    zelvar::RecoverJournals(dir.path(), zelvar::Settings());
    const std::map<std::string, int> seen = faults::packagesInHexFiles(dir.path());
    for (int i = 0; i < packages; ++i) {
        const auto found = seen.find(faults::packageLine(i));
        if (found == seen.end()) ++outcome.missing;
        else if (found->second > 1) ++outcome.doubled;
    }
    return outcome;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
    const int killRounds = std::max(1, rounds / 5);
    int failures = 0;

    std::vector<double> ms;
    int lost = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        lost += raceRound();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("same-second saves of two programs: %d rounds, %d pairs lost, median %.1f ms\n",
                rounds, lost, zelvar::bench::Median(ms));
    failures += lost;

    constexpr int kPackages = 65536;
    const std::pair<FaultPoint, const char*> points[] = {
        {FaultPoint::HexPlaced, "after the .hex"},
        {FaultPoint::TextPlaced, "after the .txt"},
        {FaultPoint::BeforeRelease, "before the segment's release"},
        {FaultPoint::RecoveryMidway, "in the middle of a recovery"},
    };
    for (const auto& [point, name] : points) {
        std::size_t missing = 0;
        std::size_t doubled = 0;
        int notKilled = 0;
        ms.clear();
        for (int i = 0; i < killRounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            const KillOutcome outcome = killRound(point, kPackages);
            ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            missing += outcome.missing;
            doubled += outcome.doubled;
            if (!outcome.killed) ++notKilled;
        }
        std::printf("kill -9 %s: %d rounds of %d packages, %zu missing, %zu twice, %d not killed, "
                    "median %.0f ms\n",
                    name, killRounds, kPackages, missing, doubled, notKilled,
                    zelvar::bench::Median(ms));
        failures += static_cast<int>(missing + doubled) + notKilled;
    }
    return failures == 0 ? 0 : 1;
}
