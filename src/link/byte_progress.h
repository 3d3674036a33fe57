#pragma once

// The data bytes a transfer over the link has moved, told as they go: what bytes done, rate and
// time left are measured from. The window's progress bar keeps its own units beside it.

#include <cstdint>
#include <optional>
#include <string_view>

namespace aurex {

class ByteProgress
{
  public:
    virtual ~ByteProgress() = default;

    // A transfer begins: `phase` names it ("loader", "codeplug-upload", ...), `total` is its data
    // bytes when they are known before the first block.
    virtual void Begin(std::string_view phase, std::optional<std::int64_t> total) = 0;
    // The total, learnt on the way.
    virtual void Total(std::int64_t total) = 0;
    // Data bytes the radio has taken (or sent) so far in this phase.
    virtual void Done(std::int64_t bytes) = 0;
    // The phase is over, whether it ended well or not.
    virtual void End() = 0;
};

// Begin on construction, End on leaving the scope; nothing without a ByteProgress.
class ByteProgressPhase
{
  public:
    ByteProgressPhase(ByteProgress* bytes, std::string_view phase, std::optional<std::int64_t> total)
        : bytes_(bytes)
    {
        if (bytes_ != nullptr) {
            bytes_->Begin(phase, total);
        }
    }
    ~ByteProgressPhase()
    {
        if (bytes_ != nullptr) {
            bytes_->End();
        }
    }
    ByteProgressPhase(const ByteProgressPhase&) = delete;
    ByteProgressPhase& operator=(const ByteProgressPhase&) = delete;

  private:
    ByteProgress* bytes_;
};

} // namespace aurex
