#include "EditTool.h"

#include <utility>

#include "PortSort.h"
#include "ProcessLines.h"
#include "TextUnits.h"

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

void appendLines(const LineList& lines, bool crlf, std::string& out) {
    if (!crlf) {
        out.append(lines.text());
        return;
    }
    out.reserve(out.size() + lines.text().size() + lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out.append(lines[i]);
        out.append("\r\n");
    }
}

// Takes what the editor window would show.
class CollectingOutput : public TransformOutput {
public:
    CollectingOutput(bool crlf, std::string& out) : crlf_(crlf), out_(out) {}
    void showLines(const LineList& lines) override { appendLines(lines, crlf_, out_); }

private:
    bool crlf_;
    std::string& out_;
};

}  // namespace

bool ParseEditOptions(const std::vector<std::string>& args, EditOptions& options,
                      std::string& error) {
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto takeValue = [&](const std::string& name, std::string& target, bool& given) {
            given = true;
            if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
                target = arg.substr(name.size() + 1);
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            target = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--crlf") {
            options.crlf = true;
        } else if (arg == "--byte" || arg.rfind("--byte=", 0) == 0) {
            if (!takeValue("--byte", options.byte, options.byteGiven)) return false;
        } else if (arg == "--type" || arg.rfind("--type=", 0) == 0) {
            if (!takeValue("--type", options.type, options.typeGiven)) return false;
        } else if (arg == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                              args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
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

std::string RunEdit(std::optional<Transform> transform, bool crlf, std::string text) {
    std::string out;
    if (!transform) {
        appendLines(SortByPorts(LineList::fromText(std::move(text))), crlf, out);
        return out;
    }
    transform->units = IsValidUtf8(text) ? TextUnits::Utf8 : TextUnits::Bytes;
    LineList workLines;
    bool stopFlag = false;
    CollectingOutput output(crlf, out);
    ProcessLines(std::move(text), *transform, workLines, stopFlag, output);
    return out;
}

}  // namespace zelvar
