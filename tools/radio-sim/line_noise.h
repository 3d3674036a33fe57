// Random damage to the bytes on the line, for runs that must show the program survives a noisy
// cable: each byte is lost or changed with a given probability. The fates follow from the seed
// alone, byte by byte, so a run with the same seed meets the same faults at the same bytes.
#pragma once

#include <cstdint>
#include <optional>

namespace aurex::sim {

class LineNoise
{
  public:
    // Rates are probabilities per byte, each in [0, 1].
    LineNoise(double dropRate, double corruptRate, std::uint64_t seed);

    bool Active() const { return dropRate_ > 0 || corruptRate_ > 0; }

    // The byte as it arrives: nothing when it is lost, else the byte, changed in at least one
    // bit when it is corrupted.
    std::optional<std::uint8_t> Pass(std::uint8_t byte);

    unsigned long long Dropped() const { return dropped_; }
    unsigned long long Corrupted() const { return corrupted_; }

  private:
    std::uint64_t Next();
    double Uniform();

    double dropRate_;
    double corruptRate_;
    std::uint64_t state_;
    unsigned long long dropped_ = 0;
    unsigned long long corrupted_ = 0;
};

} // namespace aurex::sim
