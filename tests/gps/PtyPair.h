#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

// A pseudo-terminal whose master side the test plays as the receiver. The
// test keeps its own slave descriptor, as the emulator does, so it can read
// the terminal's settings and the terminal outlives the port's Close.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string path;

    PtyPair() {
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, nullptr, &raw, nullptr) == 0) path = ttyname(slave);
    }
    ~PtyPair() {
        closeMaster();
        if (slave >= 0) ::close(slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool send(const std::string& bytes) const {
        return ::write(master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What pulling a USB receiver out looks like from the port's side.
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
};
