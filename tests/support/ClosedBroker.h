#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zelvar::test {

// Configuration lines for a MosquittoBroker closed as docs/mosquitto shows:
// no anonymous clients, the shipped ACL with `prefix` for its topics, and
// `users` with the password "<user>-pw" each, made with mosquitto_passwd in
// `folder`. Empty when mosquitto_passwd fails.
inline std::string ClosedBrokerConfig(const std::filesystem::path& folder, const std::string& prefix,
                                      const std::vector<std::string>& users) {
    std::filesystem::create_directories(folder);
    std::ifstream shipped(std::filesystem::path(ZELVAR_SOURCE_DIR) / "docs/mosquitto/zelvar.acl");
    std::ostringstream text;
    text << shipped.rdbuf();
    std::string acl = text.str();
    for (std::size_t at = 0; (at = acl.find(" zelvar/", at)) != std::string::npos; at += prefix.size()) {
        acl.replace(at + 1, 6, prefix);
    }
    std::ofstream(folder / "acl") << acl;
    const std::filesystem::path passwd = folder / "passwd";
    std::ofstream(passwd) << "";
    for (const std::string& user : users) {
        // Names and passwords of the caller's own: letters, digits, '-' and '_'.
        const std::string command = "mosquitto_passwd -b '" + passwd.string() + "' " + user + " " + user + "-pw";
        if (std::system(command.c_str()) != 0) return {};
    }
    return "allow_anonymous false\npassword_file " + passwd.string() + "\nacl_file " + (folder / "acl").string() +
           "\nmax_packet_size 65536\n";
}

}  // namespace zelvar::test
