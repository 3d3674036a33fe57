#pragma once

#include "link/com_port.h"
#include "link/link_transport.h"

#include <cstdint>

namespace aurex {

// The port-component path: the window's ComPort in half-duplex mode, with one of its timer
// triggers as the reply time-out. The port counts time in ticks; they begin and end here.
class PortComponentTransport final : public LinkTransport
{
  public:
    static constexpr std::int32_t kNoTrigger = -1;

    explicit PortComponentTransport(ComPort& port) : port_(port) {}

    ComPort& Port() { return port_; }
    // The trigger of the reply time-out; kNoTrigger while there is none.
    std::int32_t TriggerHandle() const { return trigger_; }

    LinkCapabilities Capabilities() const override
    {
        return {.repeatsRefusedRequests = true, .quietEndIsCommProblem = true};
    }

    bool LineOpen() const override { return port_.Open(); }
    bool ByteWaiting() override { return port_.CharReady(); }
    bool TakeByte(std::uint8_t& byte) override;
    // The port's own notifier reads into its queue and wakes us.
    void WaitForInput() override;
    void LineLost() override {}

    int Send(std::span<const std::uint8_t> bytes, const bool& active) override;
    void DrainTransmitQueue() override;
    void SetBaud(std::int32_t baud) override { port_.SetBaud(baud); }
    // SetBaud lets the baud-rate message leave at the old rate first: no pause needed.
    void FollowBaudChange(std::int32_t baud) override { SetBaud(baud); }

    bool CreateTimeout() override;
    void ArmTimeout(std::int32_t milliseconds) override;
    void DisarmTimeout() override;
    void ReleaseTimeout() override;

    void Close() override;

  private:
    bool TriggerValid() const { return trigger_ != kNoTrigger && trigger_ != 0; }
    bool WaitForSendRoom(int count, const bool& active);

    ComPort& port_; // the main window's, not owned
    std::int32_t trigger_ = kNoTrigger;
};

} // namespace aurex
