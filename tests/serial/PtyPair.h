// PtyPair.h - a pseudo-terminal whose slave end is opened and set up through the serial layer.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "PortComm.h"

namespace testsupport {

// The test plays the modem on the master end; the code under test talks on
// port(), opened with PortOpen and set up with PortSetup like a modem tty.
class PtyPair {
public:
    PtyPair()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        char name[128];
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_path = name;
        m_port = PortOpen(name);
        if (m_port < 0 || !PortSetup(m_port)) {
            throw std::runtime_error("cannot set up " + m_path);
        }
    }
    ~PtyPair()
    {
        closePort();
        hangUp();
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    HANDLE port() const { return m_port; }
    int master() const { return m_master; }
    const std::string& path() const { return m_path; }

    // The modem sends bytes; returns once the port has them pending.
    void send(const std::string& bytes)
    {
        if (write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("short write to master");
        }
        if (!bytes.empty()) {
            struct pollfd pfd = {m_port, POLLIN, 0};
            poll(&pfd, 1, 2000);
        }
    }

    // What the port still has unread, taken with plain reads until quietMs
    // pass without a byte.
    std::string pending(int quietMs = 50) { return drain(m_port, quietMs); }

    // What the code under test has written to the modem.
    std::string written(int quietMs = 50) { return drain(m_master, quietMs); }

    // The modem end goes away: the port's tty hangs up.
    void hangUp()
    {
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }

    void closePort()
    {
        if (m_port >= 0) {
            close(m_port);
            m_port = -1;
        }
    }

private:
    static std::string drain(int fd, int quietMs)
    {
        std::string bytes;
        struct pollfd pfd = {fd, POLLIN, 0};
        while (poll(&pfd, 1, quietMs) > 0 && (pfd.revents & POLLIN) != 0) {
            char chunk[512];
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got <= 0) {
                break;
            }
            bytes.append(chunk, static_cast<std::size_t>(got));
        }
        return bytes;
    }

    int m_master = -1;
    HANDLE m_port = -1;
    std::string m_path;
};

}  // namespace testsupport
