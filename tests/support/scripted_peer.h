#pragma once

#include "support/pty_pair.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace aurex::test {

// The peer's side of a script: blocking reads and writes on the pseudo-terminal, each bounded,
// running on the peer's own thread while the program under test runs on the test's thread.
class PeerIo
{
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    PeerIo(PtyPair& pty, std::atomic<bool>& stop, std::vector<std::string>& failures, std::mutex& mutex);

    // Exactly n bytes, or fewer (with a failure recorded) when the time runs out.
    Bytes Read(std::size_t n, int timeoutMs = 10000);
    // Bytes up to and including the next 0x7E (a frame's end).
    Bytes ReadFrame(int timeoutMs = 10000);
    // Reads as many bytes as `expected` and records a failure when they differ.
    bool Expect(const Bytes& expected, int timeoutMs = 10000);
    // Nothing arrives within the time (records a failure otherwise).
    bool ExpectSilence(int ms);
    void Write(const Bytes& bytes);
    void Sleep(int ms);
    // The peer vanishes.
    void Close();
    // True once the test has asked the peer to finish.
    bool Stopping() const { return stop_.load(); }
    void Fail(const std::string& what);

    // When the first byte of the last Read or ReadFrame arrived, and when the last Write ended.
    TimePoint LastReadStart() const { return lastReadStart_; }
    TimePoint LastWriteEnd() const { return lastWriteEnd_; }

  private:
    bool WaitFor(short events, int timeoutMs);

    PtyPair& pty_;
    std::atomic<bool>& stop_;
    std::vector<std::string>& failures_;
    std::mutex& mutex_;
    TimePoint lastReadStart_{};
    TimePoint lastWriteEnd_{};
};

// Runs a script as the far end of a pseudo-terminal on its own thread.
class ScriptedPeer
{
  public:
    using Script = std::function<void(PeerIo&)>;

    ScriptedPeer(PtyPair& pty, Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Asks an endless script to end and waits for it.
    void Stop();
    // Waits for the script to end by itself.
    void Join();
    // What went wrong on the peer's side (empty when the script ran as written).
    std::vector<std::string> Failures() const;

  private:
    PtyPair& pty_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> failures_;
    PeerIo io_;
    std::thread thread_;
};

} // namespace aurex::test
