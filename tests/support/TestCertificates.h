#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zelvar::test {

// A throw-away CA made with openssl in `folder` at run time: ca.crt, a
// server certificate for 127.0.0.1 (server.crt, server.key) and one client
// certificate for each of `clients`, its CN (<name>.crt, <name>.key, mode
// 0600). False when openssl fails.
inline bool MakeTestCertificates(const std::filesystem::path& folder, const std::vector<std::string>& clients) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "san.ext") << "subjectAltName=IP:127.0.0.1\n";
    const std::string key = "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    auto sign = [](const std::string& name) {
        return " && openssl x509 -req -in " + name + ".csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 -out " +
               name + ".crt";
    };
    std::string command = "cd '" + folder.string() + "' && " + key +
                          "-x509 -keyout ca.key -out ca.crt -days 1 -subj /CN=zelvar-test-ca && " + key +
                          "-keyout server.key -out server.csr -subj /CN=127.0.0.1" + sign("server") +
                          " -extfile san.ext";
    for (const std::string& name : clients) {
        command += " && " + key + "-keyout " + name + ".key -out " + name + ".csr -subj /CN=" + name + sign(name);
    }
    command += " 2>'" + (folder / "openssl.log").string() + "'";
    if (std::system(command.c_str()) != 0) return false;
    for (const std::string& name : clients) ::chmod((folder / (name + ".key")).c_str(), 0600);
    return true;
}

// The configuration lines of a TLS listener on 127.0.0.1:`port` with the
// certificates of MakeTestCertificates.
inline std::string TlsListener(const std::filesystem::path& folder, int port) {
    return "listener " + std::to_string(port) + " 127.0.0.1\ncafile " + (folder / "ca.crt").string() +
           "\ncertfile " + (folder / "server.crt").string() + "\nkeyfile " + (folder / "server.key").string() + "\n";
}

}  // namespace zelvar::test
