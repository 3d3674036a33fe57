#pragma once

#include <cstdint>
#include <string>

namespace aurex {

// What asking a serial driver to hand received bytes over at once came to. A USB adapter holds
// them for its latency timer (16 ms by default), and the flash download waits for every reply.
struct LowLatencyResult
{
    enum class Outcome : std::uint8_t { NotAsked, Set, AlreadyOn, Refused };

    Outcome outcome = Outcome::NotAsked;
    std::string message; // the system's words when refused

    static LowLatencyResult Set() { return {Outcome::Set, {}}; }
    static LowLatencyResult AlreadyOn() { return {Outcome::AlreadyOn, {}}; }
    static LowLatencyResult Refused(std::string why) { return {Outcome::Refused, std::move(why)}; }
};

// One line for a connection check: "low latency: set", "... already on", "... refused: why".
inline std::string LowLatencyText(const LowLatencyResult& result)
{
    switch (result.outcome) {
    case LowLatencyResult::Outcome::Set:
        return "low latency: set";
    case LowLatencyResult::Outcome::AlreadyOn:
        return "low latency: already on";
    case LowLatencyResult::Outcome::Refused:
        return "low latency: refused: " + result.message;
    case LowLatencyResult::Outcome::NotAsked:
        break;
    }
    return "low latency: not asked";
}

} // namespace aurex
