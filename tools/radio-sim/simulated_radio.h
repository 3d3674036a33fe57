// The radio's side of every exchange with the updater, as a pure state machine: it takes the
// messages that reached it (already unframed) with the time, and answers with messages. Time
// passes only through the calls; nothing here sleeps, reads a clock or touches a file.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/link_packet.h"
#include "radio_profile.h"
#include "transfer/download_keystream.h"

namespace aurex::sim {

// Time since the simulator started.
using SimTime = std::chrono::microseconds;

inline constexpr std::size_t kCodeplugBytes = 32768;
inline constexpr std::size_t kCodeplugBlockBytes = 128;
inline constexpr std::size_t kFlashBlockBytes = 128;
// Bound on one flashed image held for its dump; data past it is acknowledged and dropped.
inline constexpr std::size_t kMaxImageBytes = 8u << 20;
inline constexpr int kStartBaud = 19200;

// What the simulator reports: log lines for standard error and files for the dump folder.
class SimReport
{
  public:
    struct Line
    {
        SimTime at;
        bool trace; // frame-by-frame detail, shown only when verbose
        std::string text;
    };
    struct File
    {
        std::string kind; // loader, code, boot-code, dsp-page-N, codeplug (incomplete: suffix)
        std::vector<std::uint8_t> bytes;
    };

    void Info(SimTime at, std::string text) { lines_.push_back({at, false, std::move(text)}); }
    void Trace(SimTime at, std::string text) { lines_.push_back({at, true, std::move(text)}); }
    void Dump(std::string kind, std::vector<std::uint8_t> bytes)
    {
        files_.push_back({std::move(kind), std::move(bytes)});
    }

    // The caller drains these after every step, which keeps them short.
    std::vector<Line> TakeLines() { return std::exchange(lines_, {}); }
    std::vector<File> TakeFiles() { return std::exchange(files_, {}); }

  private:
    std::vector<Line> lines_;
    std::vector<File> files_;
};

// "04 2D" or "02 09 +128" for logs.
std::string DescribeMessage(const LinkPacket& message);

enum class RadioState : std::uint8_t {
    BootLoad,    // boot code running: identification and code downloads
    Application, // application running: identification and codeplug transfers
    Erasing,     // a loader erasing the flash: deaf
    Restarting,  // new code starting: deaf but for the line speed
};

const char* RadioStateName(RadioState state);

class SimulatedRadio
{
  public:
    // codeplug: the held codeplug in line order (words high byte first), at most 32768 bytes;
    // the rest of the radio's codeplug memory reads 0xFF.
    SimulatedRadio(const RadioProfile& profile, const std::vector<std::uint8_t>& codeplug, SimReport& report);

    // One frame the radio's end heard, addressed by its second address byte (01 the radio,
    // 4F the interface box). Appends the replies in the order they go out.
    void Receive(const LinkPacket& message, std::uint8_t secondAddress, SimTime now,
                 std::vector<LinkPacket>& replies);

    // Ends an erase or a restart that is due by now.
    void Advance(SimTime now);
    // When Advance next has something to do.
    std::optional<SimTime> NextDeadline() const;

    int Baud() const { return baud_; }
    RadioState State() const { return state_; }
    std::array<std::uint8_t, 2> Format() const { return format_; }
    // The radio's codeplug memory, in line order.
    const std::vector<std::uint8_t>& CodeplugMemory() const { return codeplug_; }

  private:
    enum class ImageKind : std::uint8_t { Loader, Code, BootCode };
    enum class Transfer : std::uint8_t {
        Idle,
        PasswordForUpload,
        PasswordForDownload,
        Uploading,
        Downloading,
        DownloadVerdict, // 03 03 sent, waiting for 03 05 or 03 06
    };

    void Identification(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies);
    void Flash(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies);
    void FlashBlock(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies);
    void FlashVerdict(bool match, SimTime now, std::vector<LinkPacket>& replies);
    void EndFlashImage(SimTime now);
    void Codeplug(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies);
    void StartTransfer(bool upload, SimTime now, std::vector<LinkPacket>& replies);
    void Proceed(SimTime now, std::vector<LinkPacket>& replies);
    void SendUploadBlock(SimTime now, std::vector<LinkPacket>& replies);
    void DownloadBlock(const LinkPacket& message, SimTime now, std::vector<LinkPacket>& replies);
    void EndDownload(SimTime now);
    void LineSpeed(const LinkPacket& message, SimTime now);
    void AbandonImage(SimTime now, const char* why);
    void BeginRestart(SimTime now, RadioState after);
    bool ReportWrongChecksum();
    std::string ImageName() const;

    const RadioProfile& profile_;
    SimReport& report_;
    RadioState state_;
    int baud_; // the profile's start-baud until the first 09 00 or restart
    std::array<std::uint8_t, 2> format_{};
    std::optional<SimTime> deadline_;
    RadioState afterRestart_ = RadioState::Application;
    bool identityNoticePending_ = false;
    unsigned bootUpdatesLeft_ = 0;
    unsigned notReadyLeft_ = 0;

    // Flash and DSP downloads.
    bool loaderRunning_ = false;
    bool imageOpen_ = false;
    bool dspOpen_ = false;
    ImageKind imageKind_ = ImageKind::Loader;
    std::vector<std::uint8_t> image_; // the open image, or the open DSP page
    std::size_t imageBlocks_ = 0;
    bool imageOverflow_ = false;
    bool secondOfPair_ = false; // the next block is the second of its pair
    std::uint16_t pairSum_ = 0;
    bool awaitingVerdict_ = false;
    bool awaitingResend_ = false;
    bool verifyFailsAtPair_ = false;
    std::uint32_t verifyFailAddress_ = 0;
    std::array<std::uint8_t, kFlashBlockBytes> secondBlock_{};
    unsigned pairsReported_ = 0;
    unsigned dspPages_ = 0;

    // Codeplug transfers.
    std::vector<std::uint8_t> codeplug_;
    Transfer transfer_ = Transfer::Idle;
    std::size_t blockIndex_ = 0; // next block to send (upload) or blocks received (download)
    std::uint16_t runningSum_ = 0;
    unsigned blocksSinceReport_ = 0;
    bool checksumDiffered_ = false;
    std::vector<std::uint8_t> received_;
    DownloadKeystream keystream_;
};

} // namespace aurex::sim
