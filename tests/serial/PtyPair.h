// PtyPair.h - a pseudo-terminal whose slave end is opened and set up through the serial layer.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "PortComm.h"

namespace testsupport {

// Opens a pty master; its slave's path goes to path. -1 on failure.
inline int OpenMaster(std::string& path, int flags = 0)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | flags);
    char name[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        return -1;
    }
    path = name;
    return master;
}

// Everything fd has to read, taken until quietMs pass without a byte.
inline std::string Drain(int fd, int quietMs = 50)
{
    std::string bytes;
    struct pollfd pfd = {fd, POLLIN, 0};
    char chunk[512];
    ssize_t got = 0;
    while (poll(&pfd, 1, quietMs) > 0 && (pfd.revents & POLLIN) != 0 && (got = read(fd, chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

// The test plays the modem on master(); the code under test talks on
// port(), opened with PortOpen and set up with PortSetup like a modem tty.
class PtyPair {
public:
    PtyPair() : m_master(OpenMaster(m_path, O_NONBLOCK)), m_port(m_master < 0 ? -1 : PortOpen(m_path.c_str()))
    {
        if (m_port < 0 || !PortSetup(m_port)) {
            throw std::runtime_error("no pseudo-terminal to test on");
        }
    }
    ~PtyPair()
    {
        close(m_port);
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
            throw std::runtime_error("short write to the pty master");
        }
        struct pollfd pfd = {m_port, POLLIN, 0};
        poll(&pfd, 1, bytes.empty() ? 0 : 2000);
    }
    std::string pending() { return Drain(m_port); }  // unread by the code under test
    std::string written() { return Drain(m_master); }  // sent by the code under test
    // The modem end goes away: the port's tty hangs up.
    void hangUp()
    {
        if (m_master >= 0) {
            close(m_master);
        }
        m_master = -1;
    }

private:
    std::string m_path;
    int m_master;
    HANDLE m_port;
};

}  // namespace testsupport
