// A station for the network view's tests: publishes decoded calls of one
// station through Zelvar's publishing core into a broker, as a station does,
// at a steady rate, each stamped with the moment it is handed over and with
// IDs counting up from FIRST_ID, in Group GROUP. Says "taken N queued M dropped D" on stdout
// every half second, and ends once a collector confirmed every package.
//
//   web_station BROKER_PORT STATION OUTBOX COUNT RATE FIRST_ID GROUP
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "DateTime.h"
#include "Publisher.h"

using Clock = std::chrono::steady_clock;

namespace {

void say(const zelvar::Publisher& publisher) {
    const zelvar::PublishStatus status = publisher.status();
    std::printf("taken %llu queued %llu dropped %llu\n", static_cast<unsigned long long>(publisher.taken()),
                static_cast<unsigned long long>(status.queued), static_cast<unsigned long long>(status.dropped));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: web_station BROKER_PORT STATION OUTBOX COUNT RATE FIRST_ID GROUP\n");
        return 2;
    }
    zelvar::PublishConfig config;
    config.port = std::atoi(argv[1]);
    config.station = argv[2];
    config.outboxPath = argv[3];
    const long count = std::atol(argv[4]);
    const long rate = std::atol(argv[5]);
    const long firstId = std::atol(argv[6]);
    const std::string group = std::to_string(std::atol(argv[7]));
    zelvar::Publisher publisher(config);
    const auto start = Clock::now();
    auto nextSay = start;
    std::string json;
    std::string time;
    for (long i = 0; i < count; ++i) {
        // In ticks of 10 ms, as datagrams from the transceivers come in bursts.
        const auto due = start + std::chrono::microseconds(i * 1'000'000 / rate);
        if (due > Clock::now() + std::chrono::milliseconds(10)) std::this_thread::sleep_until(due);
        if (Clock::now() >= nextSay) {
            say(publisher);
            nextSay += std::chrono::milliseconds(500);
        }
        time.clear();
        zelvar::AppendIsoLocalTime(time, zelvar::LocalNow(), true);
        const std::uint64_t seq = publisher.nextSeq();
        json = "{\"station\":\"" + config.station + "\",\"source\":\"" + publisher.source() +
               "\",\"seq\":" + std::to_string(seq) + ",\"port\":1,\"stamp\":null,\"time\":\"" + time +
               "\",\"type\":\"03\",\"call\":\"Group\",\"group\":" + group + ",\"id\":" + std::to_string(firstId + i) +
               ",\"clr\":1,\"enc\":0,\"ptt\":1,\"dbm\":-80,\"hex\":\"00\"}";
        publisher.publishJson(json);
    }
    while (publisher.status().queued > 0) {
        say(publisher);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    say(publisher);
    return 0;
}
