#pragma once

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal standing in for a serial device: the code under test
// opens Path() as its port, the test plays the far end on the master side.
// The test holds the slave open for the object's life, so the device stays
// there between opens of the port and the master never sees a hang-up, and
// makes it raw, so that bytes pass unchanged in both directions.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        char name[128];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path_ = name;
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PseudoTerminal()
    {
        CloseMaster();
        close(slave_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& Path() const { return path_; }
    int MasterFd() const { return master_; }

    // Bytes from the far end towards the port.
    void Write(const std::string& bytes) const
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                throw std::runtime_error("write to the pseudo-terminal failed");
            done += n > 0 ? static_cast<size_t>(n) : 0;
        }
    }

    // Everything the port has sent that the far end has not read yet.
    std::string ReadAvailable() const
    {
        std::string bytes;
        char buffer[4096];
        ssize_t n;
        while ((n = read(master_, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<size_t>(n));
        return bytes;
    }

    // The line settings of the device, as any program holding it sees them.
    termios Settings() const
    {
        termios settings{};
        tcgetattr(slave_, &settings);
        return settings;
    }

    // The far end goes away: the device is gone for whoever holds it open.
    void CloseMaster()
    {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
