#include "WebUsers.h"

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

namespace zelvar {

namespace {

constexpr std::string_view kArgon2id = "$argon2id$";

bool Sodium() {
    return sodium_init() >= 0;
}

}  // namespace

bool IsUserName(std::string_view name) {
    return !name.empty() && name.size() <= 64 &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '.' || c == '_' || c == '-';
           });
}

std::optional<std::string> HashPassword(const std::string& password) {
    if (!Sodium()) return std::nullopt;
    std::array<char, crypto_pwhash_STRBYTES> hash{};
    if (crypto_pwhash_str_alg(
            hash.data(), password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return std::string(hash.data());
}

std::unique_ptr<WebUsers> WebUsers::load(const std::string& path, std::string& error) {
    if (!Sodium()) {
        error = "libsodium cannot start";
        return nullptr;
    }
    std::ifstream file(path);
    struct stat status {};
    if (!file || stat(path.c_str(), &status) != 0) {
        error = "cannot read the users file " + path;
        return nullptr;
    }
    if ((status.st_mode & 077) != 0) {
        error = "the users file " + path + " may be read by others than its owner: chmod 600 it";
        return nullptr;
    }
    std::unique_ptr<WebUsers> users(new WebUsers);
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (line.empty() || line.front() == '#') continue;
        const std::size_t colon = line.find(':');
        const std::string name = line.substr(0, colon);
        const std::string hash =
            colon == std::string::npos ? std::string() : line.substr(colon + 1);
        if (!IsUserName(name) || !hash.starts_with(kArgon2id) ||
            hash.size() >= crypto_pwhash_STRBYTES) {
            error = path + ":" + std::to_string(number) +
                    ": not NAME:HASH (zelvar-web --hash-password NAME makes the line)";
            return nullptr;
        }
        users->hashes_[name] = hash;
    }
    std::array<unsigned char, 16> random{};
    randombytes_buf(random.data(), random.size());
    const auto unknown = HashPassword(std::string(random.begin(), random.end()));
    if (!unknown) {
        error = "not memory enough to check passwords";
        return nullptr;
    }
    users->unknown_ = *unknown;
    return users;
}

bool WebUsers::check(const std::string& name, const std::string& password) const {
    const auto found = hashes_.find(name);
    const std::string& hash = found == hashes_.end() ? unknown_ : found->second;
    const bool matches =
        crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    return matches && found != hashes_.end();
}

}  // namespace zelvar
