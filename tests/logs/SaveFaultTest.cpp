// A program killed at any moment of a rollover save or of the recovery at
// the next start: after that start every package stands exactly once among
// the .hex files, and no text line in two .txt files.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "SaveFaults.h"

namespace {

using zelvar::FaultPoint;
namespace faults = zelvar::faults;

constexpr int kPackages = 3000;

class SaveFault : public testing::TestWithParam<FaultPoint> {};

std::string pointName(const testing::TestParamInfo<FaultPoint>& point) {
    static const char* const names[] = {"HexPlaced", "TextPlaced", "BeforeRelease",
                                        "RecoveryMidway"};
    return names[static_cast<int>(point.param)];
}

TEST_P(SaveFault, KillSavesEveryPackageOnce) {
    QTemporaryDir dir;
    const bool duringRecovery = GetParam() == FaultPoint::RecoveryMidway;
    ASSERT_TRUE(faults::killedInChild([&] {
        faults::receiveAndRollOver(dir.path(), kPackages, !duringRecovery, GetParam());
    }));
    if (duringRecovery) {
        ASSERT_TRUE(faults::killedInChild([&] { faults::recoverAndDie(dir.path(), GetParam()); }));
    }

    zelvar::RecoverJournals(dir.path(), zelvar::Settings());
    const std::map<std::string, int> seen = faults::packagesInHexFiles(dir.path());
    ASSERT_EQ(seen.size(), std::size_t{kPackages});
    for (const auto& [line, count] : seen) ASSERT_EQ(count, 1) << line;
    const QDir folder(dir.path());
    EXPECT_LE(folder.entryList({QStringLiteral("*.txt")}).size(), 1);
    EXPECT_TRUE(folder.entryList({QStringLiteral("*.journal"), QStringLiteral("*.saved")}).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(AtEveryStep, SaveFault,
                         testing::Values(FaultPoint::HexPlaced, FaultPoint::TextPlaced,
                                         FaultPoint::BeforeRelease, FaultPoint::RecoveryMidway),
                         pointName);

}  // namespace
