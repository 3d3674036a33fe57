#include "serial_end.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "link/serial_baud_linux.h"
#include "link/serial_termios.h"

namespace aurex::sim {
namespace {

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

std::unique_ptr<SerialEnd> SerialEnd::OpenPseudoTerminal(std::string& error)
{
    std::unique_ptr<SerialEnd> end(new SerialEnd);
    termios raw = RawLine19200();
    char name[256] = {};
    if (::openpty(&end->fd_, &end->programFd_, name, &raw, nullptr) != 0) {
        error = ErrnoText("cannot create a pseudo-terminal");
        return nullptr;
    }
    end->programPath_ = name;
    ::fcntl(end->fd_, F_SETFL, ::fcntl(end->fd_, F_GETFL) | O_NONBLOCK);
    ::fcntl(end->fd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(end->programFd_, F_SETFD, FD_CLOEXEC);
    return end;
}

std::unique_ptr<SerialEnd> SerialEnd::OpenDevice(const std::string& path, std::string& error)
{
    std::unique_ptr<SerialEnd> end(new SerialEnd);
    end->fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (end->fd_ < 0) {
        error = ErrnoText(("cannot open " + path).c_str());
        if (errno == EACCES) {
            error +=
                " (add yourself to the dialout group: sudo usermod -aG dialout $USER, then log in again)";
        }
        return nullptr;
    }
    const termios raw = RawLine19200();
    if (::tcsetattr(end->fd_, TCSANOW, &raw) != 0) {
        error = ErrnoText((path + " is not a serial device").c_str());
        return nullptr;
    }
    ::tcflush(end->fd_, TCIOFLUSH);
    end->programPath_ = path;
    return end;
}

SerialEnd::~SerialEnd()
{
    Close();
}

int SerialEnd::ProgramTransmitBaud() const
{
    int transmit = 0;
    int receive = 0;
    return programFd_ >= 0 && ReadLineSpeeds(programFd_, transmit, receive) ? transmit : 0;
}

int SerialEnd::ProgramReceiveBaud() const
{
    int transmit = 0;
    int receive = 0;
    return programFd_ >= 0 && ReadLineSpeeds(programFd_, transmit, receive) ? receive : 0;
}

int SerialEnd::SetRadioBaud(int baud)
{
    if (programFd_ >= 0 || fd_ < 0) {
        return 0;
    }
    // What is queued still goes out at the old speed, as the radio's UART would send it.
    ::tcdrain(fd_);
    return SetLineSpeed(fd_, baud);
}

void SerialEnd::Drain(int timeoutMs)
{
    if (programFd_ < 0) {
        if (fd_ >= 0) {
            ::tcdrain(fd_);
        }
        return;
    }
    // A pseudo-terminal tells nobody when its input is read, and bytes reach the program's
    // queue a moment after they were written: give them that moment, then look every 10 ms.
    ::poll(nullptr, 0, 50);
    for (int waited = 50; waited < timeoutMs; waited += 10) {
        int queued = 0;
        if (::ioctl(programFd_, FIONREAD, &queued) != 0 || queued == 0) {
            return;
        }
        ::poll(nullptr, 0, 10);
    }
}

void SerialEnd::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (programFd_ >= 0) {
        ::close(programFd_);
        programFd_ = -1;
    }
}

} // namespace aurex::sim
