#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "TiedChild.h"

namespace zelvar::test {

// A TCP port on 127.0.0.1 that was free just now; 0 when none was found.
inline int FreeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

inline bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// A Mosquitto of the test's own on a free loopback port, with its
// configuration and persistence in `folder`. Killed with the test.
class MosquittoBroker {
public:
    // `extra`: more configuration lines (a TLS listener and the like).
    explicit MosquittoBroker(const std::filesystem::path& folder, const std::string& extra = {})
        : folder_(folder), port_(FreeTcpPort()) {
        std::filesystem::create_directories(folder_);
        std::ofstream config(folder_ / "mosquitto.conf");
        // As root Mosquitto would become the user mosquitto, who cannot
        // write into the test's folder.
        config << "user root\n"
               << "listener " << port_ << " 127.0.0.1\n"
               << "allow_anonymous true\n"
               << "persistence true\n"
               << "persistence_location " << folder_.string() << "/\n"
               << "autosave_interval 1\n"
               << "max_queued_messages 1000000\n"
               << "max_inflight_messages 0\n"
               << "log_dest file " << (folder_ / "mosquitto.log").string() << '\n'
               << extra;
        config.close();
        start();
    }
    ~MosquittoBroker() { kill(); }
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    int port() const { return port_; }
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Starts it and waits until it takes connections; false when it does not.
    bool start(int waitForPort = 0) {
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            DieWithParent(parent);
            const std::string config = (folder_ / "mosquitto.conf").string();
            ::execlp("mosquitto", "mosquitto", "-c", config.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const int port = waitForPort != 0 ? waitForPort : port_;
        for (int i = 0; i < 1000; ++i) {
            if (Accepts(port)) return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // SIGKILL: no goodbye to the clients, the last will goes out on restart
    // at the latest.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    std::filesystem::path folder_;
    int port_;
    pid_t pid_ = -1;
};

// A program of the test's own, killed with the test.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { kill(SIGKILL); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is the program; stderr goes to `errFile`.
    void start(const std::vector<std::string>& argv, const std::filesystem::path& errFile) {
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            DieWithParent(parent);
            const int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) ::dup2(fd, 2);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    // The exit status after `signal`, or -1.
    int kill(int signal) {
        if (pid_ <= 0) return -1;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Waits for `condition` up to a generous limit for a loaded machine.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(90)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

}  // namespace zelvar::test
