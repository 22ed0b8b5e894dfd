#pragma once

#include <string_view>

namespace zelvar {

class LineList;
struct PackageFields;

// Where the decoder's results go. The monitor model implements it for the
// main window; tests and the command-line decoder collect what they need. Every
// operation does nothing unless overridden.
class DecoderOutput {
public:
    virtual ~DecoderOutput() = default;

    // --- live decoding ---
    // True while the text log holds no line: the next package first gets a header.
    virtual bool textLogEmpty() const { return false; }
    // Writes the header line that fits the display mode (while monitoring).
    virtual void refreshDisplayMode() {}
    virtual void appendTextLine(std::string_view /*line*/) {}
    virtual void appendHexLine(std::string_view /*line*/) {}
    // Every package decoded live, as its hex line, whether or not the hex
    // log shows it (the crash journal keeps them all).
    virtual void liveHexLine(std::string_view /*line*/) {}
    // Port 1..4, position 0..9.
    virtual void setSMeter(int /*port*/, int /*position*/) {}
    // New auto-save files every 65 535 packages.
    virtual void rolloverCheck() {}

    // --- both modes ---
    // Every package the decoder takes, with its fields, after its lines were
    // made; called only while takesPackages() is set, so that other outputs
    // pay nothing for it.
    bool takesPackages() const { return takesPackages_; }
    virtual void packageDecoded(const PackageFields& /*package*/) {}

    // Every signal report, whatever the display mode: its port, its stamp
    // (empty: the time is unknown), its dBm text ("-90", "Max") and whether
    // it came in live.
    virtual void signalReport(int /*port*/, std::string_view /*stamp*/, std::string_view /*dbm*/,
                              bool /*live*/) {}

    // The package counts (status panel 2).
    virtual void setCountsText(std::string_view /*text*/) {}

    // --- the offline decoding run ---
    // Progress of the run (status panel 3): " Decode...", " Display...", "".
    virtual void setProgressText(std::string_view /*text*/) {}
    // Gives the text log the keyboard focus, so that Esc can stop the run.
    virtual void focusTextLog() {}
    // Lets pending window events run between two lines.
    virtual void processPendingEvents() {}
    // Shows the collected lines at the end of the run, each list in one step;
    // a streamed run (OfflineDecoder::DecodeLogStream) hands them on in
    // portions as it goes, the last one ending with the end marker.
    virtual void showDecodedLines(const LineList& /*textLines*/, const LineList& /*hexLines*/) {}

protected:
    void setTakesPackages(bool takes) { takesPackages_ = takes; }

private:
    bool takesPackages_ = false;
};

}  // namespace zelvar
