// PtyPair.h - a pseudo-terminal whose slave end is opened and set up through the serial layer.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "PortComm.h"

namespace testsupport {

// Everything fd has to read, taken until 50 ms pass without a byte.
inline std::string Drain(int fd)
{
    std::string bytes;
    struct pollfd pfd = {fd, POLLIN, 0};
    char chunk[512];
    ssize_t got = 0;
    while (poll(&pfd, 1, 50) > 0 && (pfd.revents & POLLIN) != 0 && (got = read(fd, chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

// The test plays the modem on the non-blocking master; the code under test
// talks on port, opened with PortOpen and set up with PortSetup like a modem tty.
struct PtyPair {
    PtyPair() : master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        char slave[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, slave, sizeof slave) != 0 ||
            (port = PortOpen(slave)) < 0 || !PortSetup(port)) {
            throw std::runtime_error("no pseudo-terminal to test on");
        }
    }
    ~PtyPair()
    {
        close(port);
        close(master);
    }

    // The modem sends bytes; returns once the port has them pending.
    void send(const std::string& bytes)
    {
        struct pollfd pfd = {port, POLLIN, 0};
        if (write(master, bytes.data(), bytes.size()) > 0) {
            poll(&pfd, 1, 2000);
        }
    }
    std::string pending() { return Drain(port); }    // left unread by the code under test
    std::string written() { return Drain(master); }  // sent by the code under test

    int master;
    HANDLE port = -1;
};

}  // namespace testsupport
