// What the simulated radio is and how it misbehaves: every setting has a name, and the same
// name works as a command-line option (--name value, --name=value) and as a line of a profile
// file (name=value). One table drives parsing and the --help text, so both always agree.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aurex::sim {

// How the program's end of the line reaches the radio.
enum class Interface : std::uint8_t {
    Box,        // the programming interface box: answers the probe with 09 02
    Direct,     // a plain cable: the probe goes unanswered
    HalfDuplex, // a plain two-wire cable: the program hears its own bytes back
};

enum class StartMode : std::uint8_t { BootLoad, Application };

// One message code (class byte, command byte) and which of its occurrences counts: 0 for
// every one, K for the K-th received since the radio started.
struct MessageTrigger
{
    std::uint8_t classByte = 0;
    std::uint8_t commandByte = 0;
    unsigned occurrence = 0;

    bool Matches(std::uint8_t cls, std::uint8_t cmd, unsigned count) const
    {
        return cls == classByte && cmd == commandByte && (occurrence == 0 || occurrence == count);
    }
};

struct DelayedReply
{
    MessageTrigger trigger;
    unsigned milliseconds = 0;
};

// Which pair checksums the radio reports wrong.
enum class BadChecksum : std::uint8_t { Never, Once, Always, AtPair };

struct RadioProfile
{
    // Line.
    std::string port; // empty: a new pseudo-terminal
    Interface interface = Interface::Box;
    bool pace = false;      // bytes at baud/10 per second in both directions
    int startBaud = 19200;  // the speed the radio listens at before any 09 00
    unsigned latencyMs = 0; // before every reply
    double timeScale = 1.0; // scales the radio's own durations, never the line's pace

    // Identity, as the identification replies carry it.
    std::array<std::uint8_t, 8> serial{0x00, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F};
    std::array<std::uint8_t, 3> dspVersion{3, 1, 4};
    std::array<std::uint8_t, 3> controllerVersion{4, 2, 0};
    std::array<std::uint8_t, 3> hardwareVersion{1, 0, 2};
    std::array<std::uint8_t, 2> bootVersion{4, 0};
    std::array<std::uint8_t, 2> semVersion{1, 3};
    std::optional<std::array<std::uint8_t, 2>> format; // unset: the held codeplug's version word
    std::array<std::uint8_t, 2> formatAfterUpdate{5, 10};
    std::vector<MessageTrigger> decline; // identification requests answered with 04 20
    bool identityNotice = false;         // 07 25 before the first identity reply after a restart

    // Behaviour.
    StartMode mode = StartMode::BootLoad;
    unsigned notReady = 0;                // 02 01 answered with 02 0A this many times first
    unsigned eraseMs = 500;               // the loader erasing the flash; frames are lost meanwhile
    unsigned restartMs = 5000;            // the restart after new code; frames are lost meanwhile
    unsigned bootUpdates = 0;             // the first N code images are boot code (restart into boot-load)
    std::uint32_t flashBase = 0x00020000; // address of the first byte of a code image
    std::string password;                 // digits; empty: the codeplug is not protected
    std::uint8_t acceptCommand = 0x0D;    // 03 0D or 03 0E lets a transfer proceed
    unsigned checksumEvery = 2;           // download blocks between 03 03 reports
    std::string codeplugFile;             // empty: the built-in valid 5.8 image

    // Faults.
    unsigned silentFrom = 0; // 0: never; N: from the N-th received frame on
    std::optional<MessageTrigger> silentAt;
    std::vector<MessageTrigger> unanswered;
    BadChecksum badChecksum = BadChecksum::Never;
    unsigned badChecksumPair = 0; // with AtPair
    unsigned verifyFailBlock = 0; // 0: never; N: N-th data block of a code image
    std::vector<MessageTrigger> corrupt;
    std::vector<DelayedReply> delay;
    unsigned dropAfter = 0;  // 0: never; N: the line closes once the N-th frame is answered
    unsigned keepsOther = 0; // 0: never; N: a download's N-th byte is kept inverted
    // Each byte on the line, either way, is lost or changed with these probabilities; the
    // faults follow from the seed.
    double noiseDrop = 0;
    double noiseCorrupt = 0;
    std::uint64_t noiseSeed = 1;

    // Output.
    std::string dumpDir; // empty: nothing is written
    bool verbose = false;
};

// Outcome of reading options.
struct ParseResult
{
    enum class Kind : std::uint8_t { Run, Help, Error } kind = Kind::Run;
    std::string error; // with Error: what was wrong, for the user
};

// Applies command-line arguments in order (argv[0] excluded); --profile FILE applies the file
// at that point, so later options override it.
ParseResult ParseCommandLine(RadioProfile& profile, const std::vector<std::string>& args);

// Applies one name=value setting (the form of a profile line).
std::string ApplySetting(RadioProfile& profile, std::string_view name, std::string_view value);

// Applies profile text: one name=value a line, blank lines and lines starting with # ignored.
// sourceName names the text in error messages.
std::string ApplyProfileText(RadioProfile& profile, std::string_view text, std::string_view sourceName);

// The --help text: usage and every setting.
std::string HelpText();

// Scaled milliseconds; a non-zero duration never scales down to nothing.
long long ScaledMicroseconds(const RadioProfile& profile, unsigned milliseconds);

// Parsers shared with the tests.
std::optional<MessageTrigger> ParseTrigger(std::string_view text);
std::string DescribeTrigger(const MessageTrigger& trigger);

} // namespace aurex::sim
