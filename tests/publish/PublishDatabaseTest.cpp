#include <cstdlib>

#include "PublishFixture.h"

using namespace zelvar::test;

namespace {

// The cluster of the test command itself stops for a while: this test runs
// alone (RUN_SERIAL), the others would lose their database meanwhile.
bool cluster(const char* action) {
    const char* version = std::getenv("PGVERSION");
    std::string command = "pg_ctlcluster ";
    command.append(version != nullptr ? version : "15").append(" regress ").append(action);
    command.append(" -m fast >/dev/null 2>&1");
    return std::system(command.c_str()) == 0;
}

TEST_F(PublishEndToEnd, EveryPackageIsStoredOnceWhenTheDatabaseStopsForAWhile) {
    startCollector();
    zelvar::Publisher publisher(config("west"));
    const std::string source = publisher.source();
    auto storedCount = [&] { return std::strtoull(stored(source).c_str(), nullptr, 10); };
    {
        // Twenty seconds of packages, ten of them without a database.
        SteadyStation station(publisher);
        ASSERT_TRUE(WaitFor([&] { return storedCount() > 1000; }));
        ASSERT_TRUE(WaitFor([&] { return publisher.taken() >= SteadyStation::kRate * 5; }));
        ASSERT_TRUE(cluster("stop"));
        const std::uint64_t taken = publisher.taken();
        ASSERT_TRUE(WaitFor([&] { return publisher.taken() >= taken + SteadyStation::kRate * 10; }));
        // Nothing is confirmed while nothing can be stored.
        EXPECT_GE(publisher.status().queued, SteadyStation::kRate * 10);
        ASSERT_TRUE(cluster("start"));
        ASSERT_TRUE(WaitFor([&] { return publisher.taken() >= taken + SteadyStation::kRate * 15; }));
    }
    const std::string all = std::to_string(publisher.taken());
    EXPECT_TRUE(allConfirmed(publisher)) << ReadFile(scratch / "collector.log");
    EXPECT_EQ(stored(source), all + " " + all + " " + all);
    EXPECT_NE(ReadFile(scratch / "collector.log").find("the database is back"), std::string::npos);
}

}  // namespace
