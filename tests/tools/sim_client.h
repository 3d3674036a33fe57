// A scripted client on the program's end of the simulator's pseudo-terminal: it opens the
// device as the updater does, frames with the updater's own codec and waits with poll().
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/frame_codec.h"
#include "link/serial_termios.h"

namespace aurex::sim::test {

using Bytes = std::vector<std::uint8_t>;

class SimClient
{
  public:
    explicit SimClient(const std::string& path, int baud = 19200)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            throw std::runtime_error("open " + path + ": " + std::strerror(errno));
        }
        SetSpeed(baud);
    }
    // On a descriptor the test already holds (not closed here).
    struct Borrowed
    {
        int fd;
    };
    explicit SimClient(Borrowed borrowed) : fd_(borrowed.fd), owned_(false) {}

    ~SimClient()
    {
        if (owned_ && fd_ >= 0) {
            ::close(fd_);
        }
    }
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    void SetSpeed(int baud)
    {
        termios t{};
        ::tcgetattr(fd_, &t);
        MakeRaw(t);
        if (!SetStandardSpeed(t, baud)) {
            throw std::invalid_argument("no standard rate " + std::to_string(baud));
        }
        ::tcsetattr(fd_, TCSANOW, &t);
    }

    void SendRaw(const Bytes& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                throw std::runtime_error(std::string("write: ") + std::strerror(errno));
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 1000);
            }
        }
    }

    void Send(const Bytes& message)
    {
        LinkPacket packet;
        for (std::uint8_t b : message) {
            packet.Append(b);
        }
        const auto frame = BuildFrame(packet);
        SendRaw(Bytes(frame->Bytes().begin(), frame->Bytes().end()));
    }

    // The next message of a frame addressed to the program, or nothing within timeoutMs.
    std::optional<Bytes> Receive(int timeoutMs = 5000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            while (!pending_.empty()) {
                const std::uint8_t b = pending_.front();
                pending_.pop_front();
                const FrameEvent e = decoder_.Feed(b);
                if (e == FrameEvent::Frame) {
                    const auto bytes = decoder_.Message().Bytes();
                    return Bytes(bytes.begin(), bytes.end());
                }
                if (IsFrameError(e)) {
                    errors.push_back(e);
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Fill(static_cast<int>(left.count()))) {
                return std::nullopt;
            }
        }
    }

    std::optional<Bytes> Exchange(const Bytes& message, int timeoutMs = 5000)
    {
        Send(message);
        return Receive(timeoutMs);
    }

    // True when the far end hangs up within timeoutMs.
    bool HungUp(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!hungUp_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return false;
            }
            Fill(static_cast<int>(left.count()));
        }
        return true;
    }

    // Frames the client's receiver dropped (bad checksum, our own echo, ...).
    std::vector<FrameEvent> errors;
    // Every raw byte received.
    Bytes raw;

  private:
    bool Fill(int timeoutMs)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return false;
        }
        if ((p.revents & POLLIN) == 0) {
            hungUp_ = (p.revents & (POLLHUP | POLLERR)) != 0;
            return false;
        }
        std::uint8_t buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            hungUp_ = n == 0 || errno == EIO;
            return false;
        }
        pending_.insert(pending_.end(), buffer, buffer + n);
        raw.insert(raw.end(), buffer, buffer + n);
        return true;
    }

    int fd_ = -1;
    bool owned_ = true;
    FrameDecoder decoder_;
    std::deque<std::uint8_t> pending_;
    bool hungUp_ = false;
};

} // namespace aurex::sim::test
