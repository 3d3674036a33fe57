#pragma once

// The program's radio link as the codeplug transfer uses it.

#include "transfer/transfer_link.h"

namespace aurex {

struct RadioLink;

class RadioTransferLink final : public TransferLink
{
  public:
    explicit RadioTransferLink(RadioLink& link) : link_(link) {}

    void SetActive(bool active) override;
    bool Send(std::uint8_t classByte, std::uint8_t commandByte, std::span<const std::uint8_t> data) override;
    std::optional<LinkPacket> Receive() override;
    bool LineHeldAfterSend(std::int32_t milliseconds) override;

  private:
    RadioLink& link_;
};

} // namespace aurex
