#include "SimOptions.h"

#include <cmath>
#include <string_view>

#include "Arguments.h"

namespace zelvar::sim {

namespace {

std::optional<double> parsePositive(std::string_view text) {
    const auto value = ParseNumber<double>(text);
    if (!value || !std::isfinite(*value) || *value <= 0.0) return std::nullopt;
    return value;
}

// "N=ADDR:PORT". An address outside the loopback net is refused outright.
std::string parseListen(std::string_view text, SimOptions& options,
                        std::array<bool, kMaxTransceivers>& given) {
    const std::size_t equals = text.find('=');
    const auto transceiver =
        equals == std::string_view::npos ? std::nullopt : ParseNumber<int>(text.substr(0, equals));
    if (!transceiver || *transceiver < 1 || *transceiver > kMaxTransceivers) {
        return "--listen wants N=ADDR:PORT with N 1 to 4, not " + std::string(text);
    }
    const std::string_view endpointText = text.substr(equals + 1);
    const auto endpoint = parseEndpoint(endpointText);
    if (!endpoint) return "--listen wants N=ADDR:PORT, not " + std::string(text);
    if (!isLoopback(endpoint->address)) {
        return "refused address " + formatIPv4(endpoint->address) + ": only 127.0.0.0/8 is allowed";
    }
    options.listen[static_cast<std::size_t>(*transceiver - 1)] = *endpoint;
    given[static_cast<std::size_t>(*transceiver - 1)] = true;
    return {};
}

}  // namespace

ParseOutcome parseArguments(const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    SimOptions& o = outcome.options;
    std::array<bool, kMaxTransceivers> listenGiven{};
    std::uint16_t port = kDefaultTransceiverPort;
    bool haveLog = false;
    bool haveGenerate = false;

    auto fail = [&outcome](std::string message) {
        outcome.error = std::move(message);
        outcome.exitCode = 2;
        return outcome;
    };

    Arguments args(arguments);
    while (args.next()) {
        const std::string& name = args.name();

        if (args.is("-h") || args.is("--help")) {
            o.help = true;
        } else if (args.isFlag("--generate")) {
            haveGenerate = true;
        } else if (args.isFlag("--drop-unregistered")) {
            o.dropUnregistered = true;
        } else if (args.isFlag("--loop")) {
            o.loop = true;
        } else if (args.isFlag("--start-now")) {
            o.startNow = true;
        } else if (args.isFlag("--exit-when-done")) {
            o.exitWhenDone = true;
        } else if (args.isFlag("-v") || args.isFlag("--verbose")) {
            o.verbose = true;
        } else if (name == "--listen" || name == "--log" || name == "--rate" || name == "--speed" ||
                   name == "--max-gap" || name == "--count" || name == "--duration" ||
                   name == "--seed" || name == "--port" || name == "--transceivers" ||
                   name == "--queue-limit" || name == "--sent-log" || name == "--ready-file") {
            const auto text = args.value();
            if (!text) return fail(name + " needs a value");
            const auto bad = [&]() { return fail("bad value for " + name + ": " + *text); };
            if (name == "--listen") {
                std::string error = parseListen(*text, o, listenGiven);
                if (!error.empty()) return fail(std::move(error));
            } else if (name == "--log") {
                if (text->empty()) return bad();
                o.logFile = *text;
                haveLog = true;
            } else if (name == "--rate") {
                if (!(o.ratePerSecond = parsePositive(*text))) return bad();
            } else if (name == "--speed") {
                const auto speed = parsePositive(*text);
                if (!speed) return bad();
                o.speed = *speed;
            } else if (name == "--max-gap") {
                const auto gap = ParseNumber<double>(*text);
                if (!gap || !std::isfinite(*gap) || *gap < 0.0) return bad();
                o.maxGapSeconds = gap;
            } else if (name == "--count") {
                if (!(o.count = ParseNumber<std::uint64_t>(*text))) return bad();
            } else if (name == "--duration") {
                if (!(o.durationSeconds = parsePositive(*text))) return bad();
            } else if (name == "--seed") {
                const auto seed = ParseNumber<std::uint64_t>(*text);
                if (!seed) return bad();
                o.seed = *seed;
            } else if (name == "--port") {
                const auto number = ParseNumber<unsigned>(*text);
                if (!number || *number == 0 || *number > 65535U) return bad();
                port = static_cast<std::uint16_t>(*number);
            } else if (name == "--transceivers") {
                const auto number = ParseNumber<int>(*text);
                if (!number || *number < 1 || *number > kMaxTransceivers) return bad();
                o.transceivers = *number;
            } else if (name == "--queue-limit") {
                const auto number = ParseNumber<std::size_t>(*text);
                if (!number) return bad();
                o.queueLimit = *number;
            } else if (name == "--sent-log") {
                o.sentLog = *text;
            } else {
                o.readyFile = *text;
            }
        } else {
            return fail("unknown argument " + args.argument() + " (see --help)");
        }
    }

    if (o.help) return outcome;
    if (haveLog == haveGenerate) return fail("give either --log FILE or --generate (see --help)");
    o.source = haveLog ? SimOptions::Source::Log : SimOptions::Source::Generate;
    if (o.loop && !haveLog) return fail("--loop replays a log: it needs --log");
    for (std::size_t n = 0; n < o.listen.size(); ++n) {
        if (!listenGiven[n])
            o.listen[n] = Endpoint{transceiverAddress(static_cast<int>(n) + 1), port};
    }
    for (std::size_t a = 0; a < static_cast<std::size_t>(o.transceivers); ++a) {
        for (std::size_t b = a + 1; b < static_cast<std::size_t>(o.transceivers); ++b) {
            if (o.listen[a] == o.listen[b]) {
                return fail("transceivers " + std::to_string(a + 1) + " and " +
                            std::to_string(b + 1) + " would share " + formatEndpoint(o.listen[a]));
            }
        }
    }
    return outcome;
}

std::string helpText() {
    return R"(Usage: zelvar-sim (--generate | --log FILE) [options]

Plays up to four transceivers on the loopback net for tests, benchmarks and
demos. Transceiver N listens on 127.0.0.N:4064. A datagram whose payload is
exactly "AT_ZELVAR" makes it send its packages to the datagram's source
address and port (again from the same source changes nothing); exactly
"EXIT_ZELVAR" makes it stop sending there. Other datagrams are ignored.
Nothing is ever bound to or sent to an address outside 127.0.0.0/8: such an
address is refused with exit status 2.

Packages:
  --generate            built-in calls: types 03, 0B, 0D and the other call
                        types on by default (30 to 40 bytes, Group, ID, colour
                        code and PTT repeated so the packet filter confirms
                        them), type 11 continuations naming the call's group,
                        type 0F signal reports (13 to 20 bytes, raw RSSI in
                        bytes 11-12). Byte 0 is 00. Transceivers take turns.
  --log FILE            replay a saved hex log. "P$STAMP<TAB>hex bytes" goes
                        to transceiver P (1-4); a bare line of hex bytes goes
                        to transceiver 1. Lines without bytes or with another
                        port digit are skipped. Paced by the stamps (1 unit =
                        0.864 s); bare lines follow the line before at once.
                        A log without any stamp goes at 100 per second.
                        The log may be 256 MiB at most.
  --seed N              generator seed (default 1): same seed, same packages

Pacing and end:
  --rate N              datagrams per second over all transceivers (default
                        100 for --generate; with --log, replaces the stamps)
  --speed X             replay the stamps X times faster (default 1)
  --max-gap SECONDS     longest pause between two log packages, after --speed
  --loop                start the log over when it ends
  --count N             stop after N packages in all
  --duration SECONDS    stop after this long
  --exit-when-done      exit once every package is sent (or the duration is
                        over); otherwise stop sending and keep answering
                        commands until SIGTERM or SIGINT
  --start-now           start the clock at once; by default it starts at the
                        first AT_ZELVAR on any transceiver, so --duration and
                        the pacing count from there

Transceivers:
  --transceivers N      play transceivers 1..N only (default 4); log lines of
                        other ports are skipped
  --port PORT           UDP port of every transceiver not set by --listen
                        (default 4064)
  --listen N=ADDR:PORT  where transceiver N listens; ADDR must be 127.x.x.x
  --drop-unregistered   drop a package whose transceiver has no registration
                        when it comes due. By default it waits (at most
                        --queue-limit packages per transceiver, further ones
                        are dropped) and goes out after the next AT_ZELVAR, so
                        with --count and a transceiver that never registers
                        the run does not end: use --duration or this option
  --queue-limit N       waiting packages per transceiver (default 100000)

Output:
  --sent-log FILE       every datagram sent, in send order, as a bare hex log
                        line (uppercase digits, single blanks, CR LF)
  --ready-file FILE     written once all sockets are bound, so a caller knows
                        when to register
  -v, --verbose         report commands and the end of the run on stderr
  -h, --help            this text

At exit, also on SIGTERM or SIGINT, stdout gets one line per transceiver and
the total:
  transceiver N: registered R exited E sent S
  sent TOTAL
R and E count the commands received, S the datagrams sent. Packages dropped
are reported on stderr.

Exit status: 0 done or stopped by a signal, 1 a file or socket failed,
2 bad arguments or a refused address.
)";
}

}  // namespace zelvar::sim
