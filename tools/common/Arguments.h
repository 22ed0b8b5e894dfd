#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// Walks a tool's command line (without the program name). A long option may
// carry its value as "--name=value" or take the next argument; each tool
// decides which of its options take values and which are plain flags.
class Arguments {
public:
    explicit Arguments(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    // Moves to the next argument; false after the last.
    bool next();

    // The argument as given.
    const std::string& argument() const { return arguments_[at_]; }
    // "--name" of "--name=value"; any other argument whole.
    const std::string& name() const { return name_; }
    // The option `option`, with or without an inline value.
    bool is(std::string_view option) const { return name_ == option; }
    // The option `option` exactly, without "=value".
    bool isFlag(std::string_view option) const { return !inlineValue_ && name_ == option; }
    // Starts with a dash and is more than the dash: "-" alone names standard input.
    bool isOption() const { return argument().size() > 1 && argument()[0] == '-'; }

    // The current option's value: the inline one, else the next argument,
    // which is then used up. Nothing when the command line ends first.
    std::optional<std::string> value();
    // The arguments after the current one, all used up.
    std::vector<std::string> rest();

private:
    const std::vector<std::string>& arguments_;
    std::size_t at_ = 0;
    bool started_ = false;
    std::string name_;
    std::optional<std::string> inlineValue_;
};

// The whole of `text` as a number; nothing for an empty text, trailing
// characters or a value out of range.
template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace zelvar
