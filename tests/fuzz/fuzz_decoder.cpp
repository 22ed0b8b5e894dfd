// Feeds arbitrary text to the offline decoding run, line by line, and
// arbitrary bytes to the package decoder in live mode, with settings picked
// from the input so that every branch gets its turn. The offline run reads
// the text in blocks of a few bytes, so that line ends fall on every block
// boundary, and must give what the whole text split at once gives.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "OfflineDecoder.h"
#include "PackageDecoder.h"

namespace {

class NullOutput : public zelvar::DecoderOutput {
public:
    bool textLogEmpty() const override { return lines_ == 0; }
    void appendTextLine(std::string_view) override { ++lines_; }

private:
    std::size_t lines_ = 0;
};

class CollectingOutput : public zelvar::DecoderOutput {
public:
    void showDecodedLines(const zelvar::LineList& text, const zelvar::LineList& hex) override {
        textLines += text.text();
        hexLines += hex.text();
    }
    std::string textLines;
    std::string hexLines;
};

std::string decodeOffline(std::string_view text, const zelvar::Settings& settings,
                          const zelvar::DisplayMirrors& mirrors, const zelvar::GpsState& gps,
                          bool streamed) {
    CollectingOutput output;
    zelvar::PackageDecoder decoder(settings, mirrors, gps, output);
    zelvar::OfflineDecoder offline(decoder, mirrors);
    decoder.ResetPortState();
    if (!streamed) {
        const auto lines = zelvar::LineList::fromText(std::string(text));
        for (std::size_t i = 0; i < lines.size(); ++i) offline.appendInput(lines[i]);
        if (!offline.input().empty()) offline.DecodeLogLines("File: fuzz");
        return output.textLines + '\0' + output.hexLines;
    }
    const int fd = memfd_create("fuzz", 0);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::abort();
    }
    lseek(fd, 0, SEEK_SET);
    zelvar::LogLineReader reader(fd, 16);
    offline.DecodeLogStream("File: fuzz", reader);
    close(fd);
    return output.textLines + '\0' + output.hexLines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    const auto port = static_cast<int>(data[1] % 4) + 1;
    data += 2;
    size -= 2;

    zelvar::Settings settings;
    settings.IDFilter = (options & 1) != 0;
    settings.setTypeFlag("10", (options & 2) != 0);
    settings.setTypeFlag("11", (options & 4) != 0);
    settings.RSSICorrection[0] = (options & 8) != 0 ? 255 : -255;
    zelvar::DisplayMirrors mirrors;
    mirrors.OnlyRSSI = (options & 16) != 0;
    mirrors.HexLog = (options & 32) != 0;
    zelvar::GpsState gps;
    gps.Connected = (options & 64) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if ((options & 128) != 0) {
        if (decodeOffline(text, settings, mirrors, gps, false) !=
            decodeOffline(text, settings, mirrors, gps, true)) {
            std::abort();
        }
    } else {
        NullOutput output;
        zelvar::PackageDecoder decoder(settings, mirrors, gps, output);
        decoder.ResetPortState();
        // The input is a run of datagrams, each preceded by its length byte.
        std::size_t at = 0;
        while (at < size) {
            const std::size_t n = data[at++];
            const std::size_t take = n < size - at ? n : size - at;
            decoder.DecodePackage(std::span(data + at, take), (n & 1) != 0 ? std::string_view(text.substr(at, 9)) : "",
                                  zelvar::DecodeMode::Live, port);
            at += take;
        }
    }
    return 0;
}
