#include "support/pty_pair.h"

#include "text/hex.h"

#include "link/serial_baud_linux.h"
#include "link/serial_termios.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace aurex::test {

PtyPair::PtyPair()
{
    termios raw = RawLine19200();
    char name[128] = {};
    int peer = -1;
    if (::openpty(&peer, &deviceFd_, name, &raw, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    devicePath_ = name;
    ::fcntl(peer, F_SETFL, ::fcntl(peer, F_GETFL) | O_NONBLOCK);
    ::fcntl(peer, F_SETFD, FD_CLOEXEC);
    peerFd_ = peer;
    ::fcntl(deviceFd_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair()
{
    ClosePeer();
    if (deviceFd_ >= 0) {
        ::close(deviceFd_);
    }
}

void PtyPair::ClosePeer()
{
    if (const int fd = peerFd_.exchange(-1); fd >= 0) {
        ::close(fd);
    }
}

int PtyPair::LineSpeed() const
{
    int transmit = 0;
    int receive = 0;
    return ReadLineSpeeds(deviceFd_, transmit, receive) ? transmit : 0;
}

ScopedComOverride::ScopedComOverride(int comNumber, const std::string& devicePath)
    : variable_("AUREX_COM" + std::to_string(comNumber))
{
    if (const char* old = std::getenv(variable_.c_str()); old != nullptr) {
        hadOld_ = true;
        old_ = old;
    }
    ::setenv(variable_.c_str(), devicePath.c_str(), 1);
}

ScopedComOverride::~ScopedComOverride()
{
    if (hadOld_) {
        ::setenv(variable_.c_str(), old_.c_str(), 1);
    } else {
        ::unsetenv(variable_.c_str());
    }
}

Bytes RadioFrame(const Bytes& message, std::uint8_t firstAddress)
{
    Bytes frame{0xBA, firstAddress, 0x7F};
    unsigned sum = firstAddress + 0x7Fu;
    auto put = [&frame](std::uint8_t b) {
        if (b == 0xBA) {
            frame.insert(frame.end(), {0x10, 0x00});
        } else if (b == 0x7E) {
            frame.insert(frame.end(), {0x10, 0x01});
        } else if (b == 0x10) {
            frame.insert(frame.end(), {0x10, 0x02});
        } else {
            frame.push_back(b);
        }
    };
    for (std::uint8_t b : message) {
        sum += b;
        put(b);
    }
    put(static_cast<std::uint8_t>(-sum & 0xFFu));
    frame.push_back(0x7E);
    return frame;
}

std::string Hex(const Bytes& bytes)
{
    return EncodeHex(bytes, ' ');
}

} // namespace aurex::test
