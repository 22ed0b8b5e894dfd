#include "EditTool.h"

#include <algorithm>
#include <utility>

#include "Arguments.h"
#include "PortSort.h"
#include "ReadWholeFile.h"

namespace zelvar {

namespace {

constexpr std::string_view kSortCommand = "sort-ports";

struct CommandName {
    std::string_view name;
    TransformMode mode;
};

constexpr CommandName kCommands[] = {
    {"strip-stamps", TransformMode::PortDateTime}, {"spaces", TransformMode::Spaces},
    {"divide", TransformMode::DivideSpaces},       {"hex-to-byte", TransformMode::HexToByte},
    {"byte-to-hex", TransformMode::ByteToHex},     {"min16", TransformMode::Shorter16},
    {"mask", TransformMode::MaskFilter},           {"packets-0b-05", TransformMode::Packets0B05},
    {"short", TransformMode::ShortStrings},
};

const CommandName* findCommand(std::string_view name) {
    for (const CommandName& command : kCommands) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

// A block written at once: large enough that writing costs little.
constexpr std::size_t kBlock = 256 * 1024;

}  // namespace

bool ParseEditOptions(const std::vector<std::string>& args, EditOptions& options,
                      std::string& error) {
    std::vector<std::string> positional;
    Arguments arguments(args);
    while (arguments.next()) {
        auto takeValue = [&](std::string& target, bool& given) {
            given = true;
            const std::optional<std::string> value = arguments.value();
            if (!value) error = "option " + arguments.name() + " needs a value";
            target = value.value_or(std::string());
            return value.has_value();
        };
        if (arguments.isFlag("--help") || arguments.isFlag("-h")) {
            options.help = true;
        } else if (arguments.isFlag("--crlf")) {
            options.crlf = true;
        } else if (arguments.is("--byte")) {
            if (!takeValue(options.byte, options.byteGiven)) return false;
        } else if (arguments.is("--type")) {
            if (!takeValue(options.type, options.typeGiven)) return false;
        } else if (arguments.isFlag("--")) {
            const std::vector<std::string> rest = arguments.rest();
            positional.insert(positional.end(), rest.begin(), rest.end());
        } else if (arguments.isOption()) {
            error = "unknown option " + arguments.argument();
            return false;
        } else {
            positional.push_back(arguments.argument());
        }
    }
    if (options.help) return true;
    if (positional.empty()) {
        error = "missing COMMAND";
        return false;
    }
    if (positional.size() > 2) {
        error = "unexpected argument " + positional[2] + " (only one FILE)";
        return false;
    }
    options.command = positional[0];
    if (positional.size() == 2) options.file = positional[1];
    const CommandName* command = findCommand(options.command);
    if (command == nullptr && options.command != kSortCommand) {
        error = "unknown command '" + options.command + "'";
        return false;
    }
    if ((options.byteGiven || options.typeGiven) &&
        (command == nullptr || command->mode != TransformMode::MaskFilter)) {
        error = std::string(options.byteGiven ? "--byte" : "--type") + " applies to mask only";
        return false;
    }
    return true;
}

std::string FieldText(std::string_view text) {
    const TextUnits units = IsValidUtf8(text) ? TextUnits::Utf8 : TextUnits::Bytes;
    std::string field(text.substr(0, CharOffset(text, 2, units)));
    // Only ASCII can ever match: the type is compared with log data, and
    // the byte text gives only its digits.
    for (char& c : field) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return field;
}

std::optional<Transform> CommandTransform(const EditOptions& options) {
    const CommandName* command = findCommand(options.command);
    if (command == nullptr) return std::nullopt;
    if (command->mode == TransformMode::MaskFilter) {
        return MaskTransform(FieldText(options.byte), FieldText(options.type));
    }
    return TransformFor(command->mode);
}

void Utf8Check::add(std::string_view piece) {
    if (!valid_) return;
    std::string joined;
    if (!carry_.empty()) {
        joined = carry_;
        joined.append(piece);
        piece = joined;
    }
    // A character begun in the last three bytes and not complete waits for
    // the next piece.
    std::size_t cut = piece.size();
    for (std::size_t back = 1; back <= 3 && back <= piece.size(); ++back) {
        const auto c = static_cast<unsigned char>(piece[piece.size() - back]);
        if ((c & 0xC0u) == 0x80u) continue;
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length > back) cut = piece.size() - back;
        break;
    }
    valid_ = IsValidUtf8(piece.substr(0, cut));
    carry_ = std::string(piece.substr(cut));
}

void InputScan::add(std::string_view block) {
    size_ += block.size();
    if (size_ > limit_) throw TooLargeError(limit_);
    utf8_.add(block);
    while (!block.empty()) {
        const std::size_t end = std::min(block.find_first_of("\r\n"), block.size());
        if (end > 0) afterCr_ = false;
        length_ += end;
        if (length_ > kLongestEditLine) throw LineTooLongError{line_};
        if (end == block.size()) break;
        // As in EditRun::addText: CR LF, LF or a lone CR end a line.
        const char lineEnd = block[end];
        if (lineEnd == '\r' || !afterCr_) ++line_;
        afterCr_ = lineEnd == '\r';
        length_ = 0;
        block.remove_prefix(end + 1);
    }
}

EditRun::EditRun(std::optional<Transform> transform, TextUnits units, bool crlf, Sink sink)
    : transform_(std::move(transform)), crlf_(crlf), sink_(std::move(sink)) {
    if (transform_) transform_->units = units;
}

void EditRun::append(std::string& to, std::string_view line) const {
    to.append(line);
    to.append(crlf_ ? "\r\n" : "\n");
}

void EditRun::add(std::string_view line) {
    if (!transform_) {
        if (const int port = PortOf(line); port != 0) {
            append(ports_[static_cast<std::size_t>(port - 1)], line);
        }
        return;
    }
    line_.clear();
    if (TransformLine(line, *transform_, line_)) append(out_, line_);
    if (out_.size() >= kBlock) {
        sink_(out_);
        out_.clear();
    }
}

void EditRun::addText(std::string_view text) {
    // As LineList::fromText: CR LF, LF or a lone CR end a line; a line end
    // at the very end starts no further line.
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        add(text.substr(0, end));
        std::size_t next = end;
        if (end < text.size()) {
            const bool crLf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            next += crLf ? 2u : 1u;
        }
        text.remove_prefix(next);
    }
}

void EditRun::finish() {
    if (!out_.empty()) sink_(out_);
    out_.clear();
    for (std::string& port : ports_) {
        if (!port.empty()) sink_(port);
        std::string().swap(port);
    }
}

}  // namespace zelvar
