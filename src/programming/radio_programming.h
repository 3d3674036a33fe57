#pragma once

// Identification and the downloads over the program's one radio link.

#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>

#include "link/radio_link.h"
#include "programming/dsp_download.h"
#include "programming/flash_download.h"
#include "programming/programming_link.h"
#include "programming/programming_status.h"
#include "programming/version_info.h"

namespace aurex {

// The radio link as identification and the downloads use it.
class RadioLinkChannel final : public ProgrammingLink
{
  public:
    explicit RadioLinkChannel(RadioLink& link) : link_(link) {}

    bool CreateTimeout(std::int32_t milliseconds) override { return CreateLinkTimeout(link_, milliseconds); }
    void ReleaseTimeout() override { ReleaseLinkTimeout(link_); }
    void Send(const LinkPacket& packet) override { SendPacket(link_, packet); }
    LinkReply ReceiveReply(const LinkPacket& expectedCode, int expectedLength,
                           const LinkPacket& alternateCode, int alternateLength) override
    {
        return aurex::ReceiveReply(link_, expectedCode, expectedLength, alternateCode, alternateLength);
    }
    LinkReply ReceiveAnyPacket() override { return aurex::ReceiveAnyPacket(link_); }
    LinkStatus CurrentStatus() const override { return GetLinkStatus(link_); }
    LinkCapabilities Capabilities() const override { return LinkCapabilitiesOf(link_); }
    bool IsActive() const override { return IsLinkActive(link_); }
    void ChangeBaudRate(std::int32_t baud) override { aurex::ChangeBaudRate(link_, baud); }
    void Pause(std::int32_t milliseconds) override { PauseLink(link_, milliseconds); }

  private:
    RadioLink& link_;
};

ProgrammingStatus ReadTargetVersionInfo(RadioLink& link, std::uint8_t radioTypeCode, TargetVersionInfo& info,
                                        bool sem);
ProgrammingStatus ReadBootVersion(RadioLink& link, std::uint8_t radioTypeCode,
                                  std::array<std::uint8_t, 2>& version);

ProgrammingStatus DownloadCode(RadioLink& link, std::istream& loader, std::istream& code,
                               const StatusCallback& showStatus, std::uint8_t radioTypeCode,
                               ProgressDisplay& progress, bool boot, ByteProgress* bytes = nullptr);

ProgrammingStatus DownloadDsp(RadioLink& link, std::istream& loader, std::istream& dspObject,
                              std::uint8_t radioTypeCode, const StatusCallback& showStatus,
                              const std::filesystem::path& pageFolderParent, ProgressDisplay& progress,
                              ByteProgress* bytes = nullptr);

} // namespace aurex
