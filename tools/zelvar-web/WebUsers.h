#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

// The people who may log in, from a file of "NAME:HASH" lines (HASH an
// argon2id string as HashPassword makes it; empty lines and lines starting
// with '#' are skipped).
class WebUsers {
public:
    // The users of `path`, or nothing with `error` set: the file cannot be
    // read, others than its owner may read or write it (mode beyond 0600),
    // or a line is not NAME:HASH.
    static std::unique_ptr<WebUsers> load(const std::string& path, std::string& error);

    // True when `name` is a user and `password` is theirs. An unknown name
    // costs as long as a known one: 64 MiB and a fraction of a second.
    bool check(const std::string& name, const std::string& password) const;

private:
    WebUsers() = default;

    std::map<std::string, std::string, std::less<>> hashes_;
    std::string unknown_;  // checked against for names that are no user's
};

// The longest password taken, in bytes.
constexpr std::size_t kLongestPassword = 1024;

// A user's name: 1 to 64 letters, digits, '.', '_' or '-'.
bool IsUserName(std::string_view name);

// `password`'s argon2id hash as the users file holds it, or nothing when
// there is not memory enough to make it.
std::optional<std::string> HashPassword(const std::string& password);

}  // namespace zelvar
