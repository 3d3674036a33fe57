#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace aurex::test {

using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal pair in raw mode: the program under test opens DevicePath() like a serial
// device, the test plays the radio on the peer side.
class PtyPair
{
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& DevicePath() const { return devicePath_; }
    // The peer's descriptor (non-blocking); -1 once the peer has gone.
    int PeerFd() const { return peerFd_.load(); }
    // The peer vanishes: the device side sees a hang-up, as when a cable is pulled.
    void ClosePeer();
    // The line speed the program last set on the device side, in bits per second (0 if unknown).
    int LineSpeed() const;

  private:
    std::atomic<int> peerFd_{-1};
    int deviceFd_ = -1; // held so the pair outlives the program's own opens and closes
    std::string devicePath_;
};

// Points COM n at a device for the lifetime of the object (AUREX_COM<n>).
class ScopedComOverride
{
  public:
    ScopedComOverride(int comNumber, const std::string& devicePath);
    ~ScopedComOverride();
    ScopedComOverride(const ScopedComOverride&) = delete;
    ScopedComOverride& operator=(const ScopedComOverride&) = delete;

  private:
    std::string variable_;
    bool hadOld_ = false;
    std::string old_;
};

// A frame as the radio sends it: 0xBA, first address, 0x7F, the stuffed message and checksum, 0x7E.
// Written here independently of the program's own codec so tests check one against the other.
Bytes RadioFrame(const Bytes& message, std::uint8_t firstAddress = 0x01);

// Hex text "BA 7F 01" for failure messages.
std::string Hex(const Bytes& bytes);

} // namespace aurex::test
