#include "LogImport.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>
#include <system_error>

#include "DecoderOutput.h"
#include "ImportRecord.h"
#include "LogZone.h"
#include "NmeaPosition.h"
#include "PackageJson.h"
#include "PackageStore.h"
#include "SavedLogDecoding.h"

namespace zelvar {

namespace {

// Turns every package into its row and hands it to the store.
class RowOutput : public DecoderOutput {
public:
    RowOutput(const std::string& station, const std::string& source, LogZone& zone, PackageStore& store)
        : store_(store), zone_(zone) {
        setTakesPackages(true);
        AppendCopyText(prefix_, station);
        prefix_ += '\t';
        prefix_.append(source).append("\t");
        row_.reserve(512);
    }

    // Where the line numbers come from.
    void follow(const SavedLogDecoding& decoding) { decoding_ = &decoding; }

    void packageDecoded(const PackageFields& f) override {
        ++packages;
        if (failure) return;
        row_.assign(prefix_);
        number(decoding_->lineNumber());
        if (const std::string& time = zone_.utcOf(f.stamp); time.empty()) {
            null();
        } else {
            text(time);
        }
        row_ += static_cast<char>('0' + f.port);
        row_ += '\t';
        if (f.stamp.empty()) {
            null();
        } else {
            AppendCopyText(row_, StampValue(f.stamp, scratch_));
            row_ += '\t';
        }
        if (f.type < 0) {
            null();
        } else {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            row_ += kDigits[(f.type >> 4) & 15];
            row_ += kDigits[f.type & 15];
            row_ += '\t';
        }
        if (f.decoded) {
            text(CallField(f.call).text);
            text(IntegerField(f.group).text);
            text(IntegerField(f.id).text);
            text(IntegerField(f.clr).text);
            text(IntegerField(f.enc).text);
            text(IntegerField(f.ptt).text);
        } else {
            for (int i = 0; i < 6; ++i) null();
        }
        if (f.dbm.empty()) {
            null();
        } else {
            text(IntegerField(f.dbm).text);
        }
        if (const auto position = PackagePosition(f)) {
            text(DegreesText(position->lat));
            text(DegreesText(position->lon));
            const FieldValue pdop = PdopField(f.position->PdopText);
            if (pdop.number) {
                text(pdop.text);
            } else {
                null();
            }
        } else {
            null();
            null();
            null();
        }
        row_.append(f.hex);
        row_ += '\n';
        try {
            store_.add(row_);
        } catch (const StoreError& failed) {
            failure.emplace(failed);
        }
    }

    std::uint64_t packages = 0;
    // Once the store failed, the packages are only counted.
    std::optional<StoreError> failure;

private:
    // A value that may be empty as a text ("" stays ""): only the Call can be.
    void text(std::string_view value) {
        AppendCopyText(row_, value);
        row_ += '\t';
    }
    void null() { row_.append("\\N\t"); }
    void number(std::uint64_t value) {
        char digits[20];
        row_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
        row_ += '\t';
    }

    PackageStore& store_;
    const SavedLogDecoding* decoding_ = nullptr;
    std::string prefix_;
    std::string row_;
    LogZone& zone_;
    std::string scratch_;
};

}  // namespace

std::string FileSha256(int fd) {
    // OpenSSL's digest, which uses the processor's SHA instructions: the
    // whole log is read for it before it is decoded.
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        throw std::system_error(ENOMEM, std::generic_category());
    }
    std::string block(kLogReadBlock, '\0');
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::system_error(errno, std::generic_category());
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

bool HasHexLogLine(int fd) {
    // Each line is followed through its bytes: the optional prefix, then
    // pairs of hex digits each after a space but the first.
    enum State { LineStart, Port, Stamp, First, Second, Space, Wrong };
    State state = LineStart;
    auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
    std::string block(kLogReadBlock, '\0');
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::system_error(errno, std::generic_category());
        if (got == 0) return state == Space;
        for (const char c : std::string_view(block.data(), static_cast<std::size_t>(got))) {
            if (c == '\n') {
                if (state == Space) return true;
                state = LineStart;
                continue;
            }
            switch (state) {
            case LineStart:
                state = c >= '0' && c <= '9' ? Port : (hex(c) ? Second : Wrong);
                break;
            case Port:
                // A digit may start a pair as well as a port.
                state = c == '$' ? Stamp : (hex(c) ? Space : Wrong);
                break;
            case Stamp:
                state = c == '\t' ? First : (hex(c) ? Stamp : Wrong);
                break;
            case First:
                state = hex(c) ? Second : Wrong;
                break;
            case Second:
                state = hex(c) ? Space : Wrong;
                break;
            case Space:
                state = c == ' ' ? First : (c == '\r' ? Space : Wrong);
                break;
            case Wrong:
                break;
            }
        }
    }
}

ImportResult ImportLog(int logFd, const ImportRequest& request, LogZone& zone, const Settings& settings,
                       PackageStore& store) {
    auto rewind = [logFd] {
        if (::lseek(logFd, 0, SEEK_SET) != 0) throw std::system_error(errno, std::generic_category());
    };
    if (!HasHexLogLine(logFd)) throw StoreError("no line of a hex log in " + request.file);
    rewind();
    const std::string source = FileSha256(logFd);
    rewind();
    ImportRecord record(request.conninfo, source, request.station);
    record.begin(zone.name(), request.file, request.zoneAnew);

    RowOutput output(request.station, source, zone, store);
    SavedLogDecoding decoding(logFd, settings, output);
    output.follow(decoding);
    decoding.run("");
    if (!output.failure) {
        try {
            store.flush();
        } catch (const StoreError& failed) {
            output.failure.emplace(failed);
        }
    }
    if (output.failure) {
        store.settle();
        std::string said = std::string(output.failure->what()) + ": " + std::to_string(store.settled()) + " of " +
                           std::to_string(output.packages) + " packages are stored";
        // Values the server refuses are refused again.
        if (!output.failure->refusedData()) said += "; the same import run again stores the rest";
        throw StoreError(said);
    }
    record.finish(output.packages);
    return {output.packages, store.stored(), decoding.skippedLines()};
}

}  // namespace zelvar
