#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "link/link_transport.h"

namespace aurex {

// A line under the radio link that passes everything through and keeps the first bytes sent and
// heard since the last Clear: the connection check learns whether what it sent came straight
// back (a two-wire cable) without a receive path of its own.
class LineTap final : public LinkTransport
{
  public:
    // More than the probe and a query with their echoes; a noisy line cannot grow it further.
    static constexpr std::size_t kKeptBytes = 1024;

    explicit LineTap(std::unique_ptr<LinkTransport> line);

    void Clear();
    // True when the bytes sent since Clear were all heard back, in order and unbroken.
    bool SentBytesHeardBack() const;

    LinkCapabilities Capabilities() const override { return line_->Capabilities(); }
    bool LineOpen() const override { return line_->LineOpen(); }
    bool ByteWaiting() override { return line_->ByteWaiting(); }
    bool TakeByte(std::uint8_t& byte) override;
    void WaitForInput() override { line_->WaitForInput(); }
    void LineLost() override { line_->LineLost(); }
    int Send(std::span<const std::uint8_t> bytes, const bool& active) override;
    void DrainTransmitQueue() override { line_->DrainTransmitQueue(); }
    void SetBaud(std::int32_t baud) override { line_->SetBaud(baud); }
    void FollowBaudChange(std::int32_t baud) override { line_->FollowBaudChange(baud); }
    bool CreateTimeout() override { return line_->CreateTimeout(); }
    void ArmTimeout(std::int32_t milliseconds) override { line_->ArmTimeout(milliseconds); }
    void DisarmTimeout() override { line_->DisarmTimeout(); }
    void ReleaseTimeout() override { line_->ReleaseTimeout(); }
    void Close() override { line_->Close(); }

  private:
    std::unique_ptr<LinkTransport> line_;
    std::vector<std::uint8_t> sent_;
    std::vector<std::uint8_t> heard_;
};

} // namespace aurex
