#include "line_noise.h"

namespace aurex::sim {

LineNoise::LineNoise(double dropRate, double corruptRate, std::uint64_t seed)
    : dropRate_(dropRate), corruptRate_(corruptRate), state_(seed)
{
}

// splitmix64: tiny, and the same sequence on every platform and library (unlike the standard
// distributions), which is what makes a seed reproducible.
std::uint64_t LineNoise::Next()
{
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double LineNoise::Uniform()
{
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::optional<std::uint8_t> LineNoise::Pass(std::uint8_t byte)
{
    if (!Active()) {
        return byte;
    }
    // One draw a byte whatever happens, so the fate of a byte does not depend on earlier ones.
    const double draw = Uniform();
    const std::uint64_t bits = Next();
    if (draw < dropRate_) {
        ++dropped_;
        return std::nullopt;
    }
    if (draw < dropRate_ + corruptRate_) {
        ++corrupted_;
        const auto flip = static_cast<std::uint8_t>(bits % 255u + 1u); // never 0: the byte changes
        return static_cast<std::uint8_t>(byte ^ flip);
    }
    return byte;
}

} // namespace aurex::sim
