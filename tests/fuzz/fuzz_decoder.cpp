// Feeds arbitrary text to the offline decoding run, line by line, and
// arbitrary bytes to the package decoder in live mode, with settings picked
// from the input so that every branch gets its turn.
#include <cstddef>
#include <cstdint>
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
    NullOutput output;
    zelvar::PackageDecoder decoder(settings, mirrors, gps, output);
    decoder.ResetPortState();

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if ((options & 128) != 0) {
        zelvar::OfflineDecoder offline(decoder, mirrors);
        offline.OfflineInputLines = zelvar::LineList::fromText(std::string(text));
        offline.DecodeLogLines("File: fuzz");
    } else {
        // The input is a run of datagrams, each preceded by its length byte.
        std::size_t at = 0;
        while (at < size) {
            const std::size_t n = data[at++];
            const std::size_t take = n < size - at ? n : size - at;
            decoder.ReceiveBuffer.fill(0);
            for (std::size_t i = 0; i < take && i < decoder.ReceiveBuffer.size(); ++i) {
                decoder.ReceiveBuffer[i] = data[at + i];
            }
            decoder.DecodePackage(take, (n & 1) != 0 ? std::string_view(text.substr(at, 9)) : "",
                                  zelvar::DecodeMode::Live, port);
            at += take;
        }
    }
    return 0;
}
