// The publisher against a real Mosquitto, with the test in the collector's
// place: what the station says on its status topic, and that a confirmation
// frees exactly the packages it covers.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "MosquittoBroker.h"
#include "MqttClient.h"
#include "MqttTopics.h"
#include "PackageFields.h"
#include "Publisher.h"
#include "ToolRun.h"

namespace fs = std::filesystem;
using zelvar::test::WaitFor;
using Listener = zelvar::test::MqttClient;

namespace {

TEST(Publisher, TellsItsStateAndFreesWhatAConfirmationCovers) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-publisher");
    zelvar::test::MosquittoBroker broker(scratch / "broker");
    ASSERT_TRUE(broker.running());
    Listener listener(broker.port(), "t/#");
    zelvar::PublishConfig config;
    config.port = broker.port();
    config.station = "st";
    config.prefix = "t";
    config.outboxPath = (scratch / "outbox.sqlite").string();
    config.window = 10;
    // Only the feeding may send a package here, not the repeat after a stall.
    config.stallResend = std::chrono::hours(1);
    std::string source;
    // What the station says, with the instance kept in its outbox.
    auto said = [&] {
        std::string error;
        return zelvar::ParseStationStatus(listener.last("t/st/status"), error).value_or(zelvar::StationStatus{});
    };
    std::string instance;
    {
        zelvar::Publisher publisher(config);
        source = publisher.source();
        ASSERT_EQ(source.size(), 32u);
        publisher.setStationState({true, 4});
        EXPECT_TRUE(WaitFor([&] { return said().online && said().state && said().state->gps; }))
            << listener.last("t/st/status");
        EXPECT_EQ(said().state->transceivers, 4);
        EXPECT_EQ(said().queued, 0u);
        instance = said().instance;
        EXPECT_EQ(instance.size(), 32u);
        zelvar::PackageFields fields;
        fields.hex = "00 11 22 33 44";
        for (int i = 0; i < 100; ++i) publisher.publish(fields, "");
        // Through the window of ten, every one reaches the broker.
        EXPECT_TRUE(WaitFor([&] { return listener.last("t/st/packages").find(R"("seq":100,)") != std::string::npos; }))
            << listener.last("t/st/packages");
        // Packages sent are in the outbox: the next ones form a run of their own.
        for (int i = 0; i < 50; ++i) publisher.publish(fields, "");
        EXPECT_TRUE(WaitFor([&] { return listener.last("t/st/packages").find(R"("seq":150,)") != std::string::npos; }));
        EXPECT_EQ(publisher.status().queued, 150u);
        // A run goes only when a confirmation covers all of it.
        listener.say("t/st/ack", zelvar::AckMessage({source, 120}));
        EXPECT_TRUE(WaitFor([&] { return publisher.status().queued == 50; })) << publisher.status().queued;
        listener.say("t/st/ack", zelvar::AckMessage({"another run", 150}));
        listener.say("t/st/ack", zelvar::AckMessage({source, 150}));
        EXPECT_TRUE(WaitFor([&] { return publisher.status().queued == 0; }));
        EXPECT_TRUE(publisher.status().connected);
        // After an empty outbox the next packages still go out at once.
        for (int i = 0; i < 10; ++i) publisher.publish(fields, "");
        EXPECT_TRUE(WaitFor([&] { return listener.last("t/st/packages").find(R"("seq":160,)") != std::string::npos; },
                            std::chrono::seconds(30)))
            << listener.last("t/st/packages");
    }
    EXPECT_TRUE(WaitFor([&] { return !said().online && said().instance == instance; }))
        << listener.last("t/st/status");
    fs::remove_all(scratch);
}

// Any client of the broker may say something on the station's ack topic: a
// confirmation beyond the packages the run has published frees nothing, even
// retained and heard before the packages are sent.
TEST(Publisher, IgnoresAConfirmationBeyondWhatTheRunPublished) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-publisher");
    zelvar::test::MosquittoBroker broker(scratch / "broker");
    ASSERT_TRUE(broker.running());
    Listener listener(broker.port(), "t/#");
    zelvar::PublishConfig config;
    config.port = broker.port();
    config.station = "victim";
    config.prefix = "t";
    config.outboxPath = (scratch / "outbox.sqlite").string();
    config.stallResend = std::chrono::hours(1);
    zelvar::Publisher publisher(config);
    ASSERT_TRUE(WaitFor([&] { return !listener.last("t/victim/status").empty(); }));
    listener.say("t/victim/ack", zelvar::AckMessage({publisher.source(), 1'000'000'000}));
    ASSERT_TRUE(WaitFor([&] { return listener.last("t/victim/ack").find("1000000000") != std::string::npos; }));
    zelvar::PackageFields fields;
    fields.hex = "00 11 22 33 44";
    // Two runs in the outbox: the second one starts after the first is sent.
    for (int i = 0; i < 100; ++i) publisher.publish(fields, "");
    EXPECT_TRUE(WaitFor([&] { return listener.last("t/victim/packages").find(R"("seq":100,)") != std::string::npos; }));
    for (int i = 0; i < 50; ++i) publisher.publish(fields, "");
    EXPECT_TRUE(WaitFor([&] { return listener.last("t/victim/packages").find(R"("seq":150,)") != std::string::npos; }));
    listener.say("t/victim/ack", zelvar::AckMessage({publisher.source(), 151}));
    // A run it holds nothing of, as the retained confirmation of its last run.
    listener.say("t/victim/ack", zelvar::AckMessage({"0123456789abcdef0123456789abcdef", 500}));
    // Confirmations are taken in order: once this one has freed its run the
    // ones before it were heard.
    listener.say("t/victim/ack", zelvar::AckMessage({publisher.source(), 100}));
    EXPECT_TRUE(WaitFor([&] { return publisher.status().queued == 50; }, std::chrono::seconds(30)))
        << publisher.status().queued;
    EXPECT_EQ(publisher.status().ignoredAcks, 2u);
    fs::remove_all(scratch);
}

// The broker's acknowledgements wake the publisher thread hundreds of times
// a second; the packages handed over meanwhile still go into the outbox in
// runs, not in a transaction each.
TEST(Publisher, StoresPackagesInRunsWhileTheBrokerAcknowledges) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-publisher");
    zelvar::test::MosquittoBroker broker(scratch / "broker");
    ASSERT_TRUE(broker.running());
    Listener listener(broker.port(), "t/#");
    zelvar::PublishConfig config;
    config.port = broker.port();
    config.station = "st";
    config.prefix = "t";
    config.outboxPath = (scratch / "outbox.sqlite").string();
    zelvar::Publisher publisher(config);
    ASSERT_TRUE(WaitFor([&] { return !listener.last("t/st/status").empty(); }));
    zelvar::PackageFields fields;
    fields.hex = "00 11 22 33 44";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= 2000; ++i) {
        publisher.publish(fields, "");
        if (i % 20 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto handing = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(WaitFor([&] { return listener.last("t/st/packages").find(R"("seq":2000,)") != std::string::npos; }));
    zelvar::Outbox outbox(config.outboxPath, config.outboxLimit);
    EXPECT_EQ(outbox.count(), 2000u);
    // A run for every 0.1 s of handing over, and the last one.
    EXPECT_LE(outbox.after(0, 5000).size(), static_cast<std::size_t>(handing / std::chrono::milliseconds(100)) + 2);
    fs::remove_all(scratch);
}

// While the outbox cannot be written (a full disk: here the largest file the
// process may write), what is handed over waits in memory, up to a bound: the
// oldest go and are counted. Once the disk takes them again, the rest is stored.
TEST(Publisher, HoldsABoundedAmountWhileTheOutboxCannotBeWritten) {
    const fs::path scratch = zelvar::test::TestScratchDir("zelvar-publisher");
    zelvar::PublishConfig config;
    config.port = 1;  // no broker: every package stays
    config.station = "st";
    config.outboxPath = (scratch / "outbox.sqlite").string();
    zelvar::Publisher publisher(config);
    // Beyond the limit a write fails with EFBIG instead of the signal.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const rlimit full{256 * 1024, unlimited.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
    zelvar::PackageFields fields;
    const std::string hex(300, 'A');
    fields.hex = hex;
    for (int i = 0; i < 200'000; ++i) publisher.publish(fields, "");
    EXPECT_TRUE(WaitFor([&] { return !publisher.outboxFailure().empty(); }));
    const zelvar::PublishStatus held = publisher.status();
    EXPECT_GT(held.dropped, 0u);
    EXPECT_EQ(held.dropped, held.droppedUnwritten);
    EXPECT_EQ(held.queued + held.dropped, 200'000u);
    EXPECT_LE(held.queued * hex.size(), config.heldLimit);
    // The status panel's tooltip says why.
    EXPECT_NE(zelvar::DroppedReason(held, config.outboxLimit)
                  .find(std::to_string(held.dropped) + " dropped while the outbox could not be written: outbox: "),
              std::string::npos)
        << zelvar::DroppedReason(held, config.outboxLimit);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    EXPECT_TRUE(WaitFor([&] { return publisher.outboxFailure().empty(); }));
    EXPECT_TRUE(WaitFor([&] { return zelvar::Outbox(config.outboxPath, config.outboxLimit).count() == held.queued; }));
    fs::remove_all(scratch);
}

}  // namespace
