#include "support/scripted_peer.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace aurex::test {

PeerIo::PeerIo(PtyPair& pty, std::atomic<bool>& stop, std::vector<std::string>& failures, std::mutex& mutex)
    : pty_(pty), stop_(stop), failures_(failures), mutex_(mutex)
{
}

void PeerIo::Fail(const std::string& what)
{
    std::lock_guard lock(mutex_);
    failures_.push_back(what);
}

bool PeerIo::WaitFor(short events, int timeoutMs)
{
    const int fd = pty_.PeerFd();
    if (fd < 0) {
        return false;
    }
    // Short slices so a Stop is noticed soon.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stop_.load()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        if (n > 0) {
            return (p.revents & events) != 0;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

Bytes PeerIo::Read(std::size_t n, int timeoutMs)
{
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(POLLIN, static_cast<int>(left.count()))) {
            break;
        }
        std::uint8_t buffer[256];
        const ssize_t r = ::read(pty_.PeerFd(), buffer, std::min(sizeof buffer, n - got.size()));
        if (r > 0) {
            if (got.empty()) {
                lastReadStart_ = std::chrono::steady_clock::now();
            }
            got.insert(got.end(), buffer, buffer + r);
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    if (got.size() < n && !stop_.load()) {
        Fail("peer read " + std::to_string(got.size()) + " of " + std::to_string(n) + " bytes: " + Hex(got));
    }
    return got;
}

Bytes PeerIo::ReadFrame(int timeoutMs)
{
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(POLLIN, static_cast<int>(left.count()))) {
            if (!stop_.load()) {
                Fail("peer got no whole frame: " + Hex(got));
            }
            return got;
        }
        std::uint8_t b = 0;
        const ssize_t r = ::read(pty_.PeerFd(), &b, 1);
        if (r == 1) {
            if (got.empty()) {
                lastReadStart_ = std::chrono::steady_clock::now();
            }
            got.push_back(b);
            if (b == 0x7E) {
                return got;
            }
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            Fail("peer read failed after " + Hex(got));
            return got;
        }
    }
}

bool PeerIo::Expect(const Bytes& expected, int timeoutMs)
{
    const Bytes got = Read(expected.size(), timeoutMs);
    if (got != expected) {
        Fail("peer expected " + Hex(expected) + ", got " + Hex(got));
        return false;
    }
    return true;
}

bool PeerIo::ExpectSilence(int ms)
{
    if (WaitFor(POLLIN, ms)) {
        std::uint8_t buffer[64];
        const ssize_t r = ::read(pty_.PeerFd(), buffer, sizeof buffer);
        Fail("peer expected silence, got " + Hex(Bytes(buffer, buffer + std::max<ssize_t>(r, 0))));
        return false;
    }
    return true;
}

void PeerIo::Write(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int fd = pty_.PeerFd();
        if (fd < 0 || stop_.load()) {
            return;
        }
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EAGAIN) {
            WaitFor(POLLOUT, 100);
        } else if (w < 0 && errno != EINTR) {
            Fail("peer write failed");
            return;
        }
    }
    lastWriteEnd_ = std::chrono::steady_clock::now();
}

void PeerIo::Sleep(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_.load() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - std::chrono::steady_clock::now(), std::chrono::milliseconds(20)));
    }
}

void PeerIo::Close()
{
    pty_.ClosePeer();
}

ScriptedPeer::ScriptedPeer(PtyPair& pty, Script script)
    : pty_(pty), io_(pty, stop_, failures_, mutex_), thread_([this, s = std::move(script)] { s(io_); })
{
}

ScriptedPeer::~ScriptedPeer()
{
    Stop();
}

void ScriptedPeer::Stop()
{
    stop_ = true;
    Join();
}

void ScriptedPeer::Join()
{
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::vector<std::string> ScriptedPeer::Failures() const
{
    std::lock_guard lock(mutex_);
    return failures_;
}

} // namespace aurex::test
