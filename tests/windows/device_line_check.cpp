// Identification and a small flash download through the serial device classes alone (no Qt):
// built for Linux and for Windows from this one file, run against the simulated radio, so that
// the bytes each build puts on the line can be compared.
//
//   device_line_check PORT [LOADER.srec CODE.srec]
//
// PORT is COMn or a device path. Prints what the radio answered; exit 0 when everything did.
#include "link/clock.h"
#include "link/frame_codec.h"
#include "link/message_table.h"
#include "link/vnx_comm_device.h"
#include "programming/flash_download.h"
#include "programming/version_info.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace aurex {
namespace {

constexpr std::uint8_t kRadioType8600Series4 = 6;
constexpr std::int32_t kStartBaud = 19200;

// The device's serial code for a rate the download uses; 19200 otherwise.
std::uint8_t DeviceBaudCode(std::int32_t baud)
{
    return baud == 115200 ? 19 : baud == 57600 ? 17 : baud == 38400 ? 15 : baud == 9600 ? 12 : 14;
}

// A ProgrammingLink straight over the serial device: frames out, frames in, waits that block in
// the serial system's read until a byte comes or the time-out ends.
class DeviceLink final : public ProgrammingLink
{
  public:
    explicit DeviceLink(VNXCommDeviceSerial& device) : device_(device) {}

    bool CreateTimeout(std::int32_t milliseconds) override
    {
        timeoutMs_ = milliseconds;
        return true;
    }
    void ReleaseTimeout() override {}

    void Send(const LinkPacket& packet) override
    {
        const auto frame = BuildFrame(packet);
        if (!frame || device_.Write(frame->data(), static_cast<int>(frame->size())) !=
                          static_cast<int>(frame->size())) {
            status_ = LinkStatus::Ended;
        }
    }

    LinkReply ReceiveReply(const LinkPacket& expectedCode, int expectedLength,
                           const LinkPacket& alternateCode, int alternateLength) override
    {
        replies_.Expect(
            ExpectedReply::FromPackets(expectedCode, expectedLength, alternateCode, alternateLength));
        const Deadline deadline(Clock::Milliseconds(timeoutMs_));
        std::uint8_t byte = 0;
        while (NextByte(deadline, byte)) {
            const ReplyDecoder::Step step = replies_.Feed(byte);
            if (step.Completed()) {
                status_ = LinkStatus::Completed;
                return {status_, replies_.Reply(), step.Alternate()};
            }
        }
        status_ = LinkStatus::Ended;
        return {.status = status_};
    }

    LinkReply ReceiveAnyPacket() override
    {
        const Deadline deadline(Clock::Milliseconds(timeoutMs_));
        std::uint8_t byte = 0;
        while (NextByte(deadline, byte)) {
            if (frames_.Feed(byte) == FrameEvent::Frame) {
                status_ = LinkStatus::Completed;
                return {status_, frames_.Message(), false};
            }
        }
        status_ = LinkStatus::Ended;
        return {.status = status_};
    }

    LinkStatus CurrentStatus() const override { return status_; }
    LinkCapabilities Capabilities() const override { return {}; }
    bool IsActive() const override { return device_.IsOpen(); }

    void ChangeBaudRate(std::int32_t baud) override
    {
        LinkPacket packet;
        InitMessage(packet, msg::kBaudRate);
        packet.Append(BaudSelector(baud));
        Send(packet);
        Clock::SleepMilliseconds(100); // the radio's own switch settles first
        device_.SetBaudCode(DeviceBaudCode(baud));
    }

    void Pause(std::int32_t milliseconds) override { Clock::SleepMilliseconds(milliseconds); }

  private:
    // A queued byte at once, else a wait in the system for the next one until the deadline.
    bool NextByte(const Deadline& deadline, std::uint8_t& byte)
    {
        while (!device_.CharReady()) {
            const int left = deadline.RemainingMilliseconds();
            if (left <= 0 || !device_.IsOpen()) {
                return false;
            }
            PlatformSerialSystem().WaitForInput(device_.WaitHandle(), left);
        }
        return device_.ReadChar(byte) == 1;
    }

    VNXCommDeviceSerial& device_;
    std::int32_t timeoutMs_ = 2000;
    LinkStatus status_ = LinkStatus::Completed;
    ReplyDecoder replies_;
    FrameDecoder frames_;
};

class SilentProgress final : public ProgressDisplay
{
  public:
    void SetRange(int, int) override {}
    void SetPosition(int) override {}
};

int Run(const std::string& port, const char* loaderPath, const char* codePath)
{
    VNXCommDeviceSerial device;
    if (!device.OpenPort(port, DeviceBaudCode(kStartBaud), false)) {
        std::printf("cannot open %s: %s\n", device.Port().DevicePath().c_str(),
                    device.Port().LastRefusal().c_str());
        return 1;
    }
    // A second open of the port: refused by Linux and by Windows, let through by Wine, which
    // does not hold COM ports exclusively. Said on standard error, out of the comparison.
    VNXCommDeviceSerial second;
    const bool secondOpened = second.OpenPort(port, DeviceBaudCode(kStartBaud), false);
    std::fprintf(stderr, "second open: %s\n",
                 secondOpened                                          ? "opened"
                 : second.Port().OpenResult() == PortOpenResult::InUse ? "in use"
                                                                       : "refused");
    second.Close();
    // Nothing is sent yet, so the radio is quiet: the wait must last its time and find nothing.
    const auto before = Clock::Now();
    const bool input = PlatformSerialSystem().WaitForInput(device.WaitHandle(), 200);
    const bool waited = Clock::Now() - before >= Clock::Milliseconds(150);
    std::printf("quiet line: %s\n", !input && waited ? "waited, nothing came" : "did not wait");
    DeviceLink link(device);
    link.CreateTimeout(2000);
    std::array<std::uint8_t, 2> boot{};
    const ProgrammingStatus bootStatus = ReadBootVersion(link, kRadioType8600Series4, boot);
    TargetVersionInfo info;
    const ProgrammingStatus infoStatus = ReadTargetVersionInfo(link, kRadioType8600Series4, info, true);
    if (!VersionInfoRead(infoStatus) || bootStatus != ProgrammingStatus::Success) {
        std::printf("identification failed (%d, %d)\n", static_cast<int>(bootStatus),
                    static_cast<int>(infoStatus));
        return 1;
    }
    const VersionLabelTexts texts = VersionLabelTextsFor(info, kRadioType8600Series4);
    std::printf("boot %u.%u\nserial %s\ncontroller %s\nformat %s\n", boot[0], boot[1],
                texts.serialNumber.c_str(), texts.controllerVersion.c_str(), texts.fileVersion.c_str());
    if (loaderPath == nullptr) {
        return 0;
    }
    std::ifstream loader(loaderPath, std::ios::binary);
    std::ifstream code(codePath, std::ios::binary);
    SilentProgress progress;
    const ProgrammingStatus download = DownloadCode(
        link, loader, code, [](const std::string& text) { std::printf("status: %s\n", text.c_str()); },
        kRadioType8600Series4, progress, false);
    std::printf("download %s\n", download == ProgrammingStatus::Success ? "done" : "failed");
    return download == ProgrammingStatus::Success ? 0 : 1;
}

} // namespace
} // namespace aurex

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: device_line_check PORT [LOADER.srec CODE.srec]\n");
        return 2;
    }
    return aurex::Run(argv[1], argc == 4 ? argv[2] : nullptr, argc == 4 ? argv[3] : nullptr);
}
