#include "radio_profile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "link/time_scale.h"
#include "text/hex.h"

namespace aurex::sim {
namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string_view> SplitList(std::string_view text)
{
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view part = Trim(text.substr(0, comma));
        if (!part.empty()) {
            parts.push_back(part);
        }
        if (comma == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(comma + 1);
    }
}

std::optional<unsigned> ParseUnsigned(std::string_view text, unsigned max = 0xFFFFFFFFu)
{
    text = Trim(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

// Hex digits, with spaces, '-' or ':' allowed between byte pairs.
template <std::size_t N> std::optional<std::array<std::uint8_t, N>> ParseHexBytes(std::string_view text)
{
    std::string digits;
    for (char c : text) {
        if (c != ' ' && c != '-' && c != ':') {
            digits += c;
        }
    }
    std::array<std::uint8_t, N> out{};
    if (!DecodeHex(digits, out)) {
        return std::nullopt;
    }
    return out;
}

// "4.2.0": N decimal parts of 0-255.
template <std::size_t N> std::optional<std::array<std::uint8_t, N>> ParseVersion(std::string_view text)
{
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t dot = text.find('.');
        if ((i + 1 < N) == (dot == std::string_view::npos)) {
            return std::nullopt;
        }
        const auto part = ParseUnsigned(text.substr(0, dot), 255);
        if (!part) {
            return std::nullopt;
        }
        out[i] = static_cast<std::uint8_t>(*part);
        text = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    }
    return out;
}

std::optional<bool> ParseSwitch(std::string_view text)
{
    text = Trim(text);
    if (text == "on" || text == "yes" || text == "true" || text == "1" || text.empty()) {
        return true;
    }
    if (text == "off" || text == "no" || text == "false" || text == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<std::vector<MessageTrigger>> ParseTriggerList(std::string_view text)
{
    std::vector<MessageTrigger> triggers;
    for (std::string_view part : SplitList(text)) {
        const auto trigger = ParseTrigger(part);
        if (!trigger) {
            return std::nullopt;
        }
        triggers.push_back(*trigger);
    }
    return triggers;
}

using Setter = std::function<bool(RadioProfile&, std::string_view)>;

struct Setting
{
    const char* name;
    const char* value; // placeholder in the help; nullptr for a switch that needs no value
    const char* help;
    Setter set;
};

template <std::size_t N> Setter VersionSetter(std::array<std::uint8_t, N> RadioProfile::*field)
{
    return [field](RadioProfile& p, std::string_view v) {
        const auto version = ParseVersion<N>(Trim(v));
        if (version) {
            p.*field = *version;
        }
        return version.has_value();
    };
}

Setter UnsignedSetter(unsigned RadioProfile::*field, unsigned max = 0xFFFFFFFFu)
{
    return [field, max](RadioProfile& p, std::string_view v) {
        const auto value = ParseUnsigned(v, max);
        if (value) {
            p.*field = *value;
        }
        return value.has_value();
    };
}

Setter RateSetter(double RadioProfile::*field)
{
    return [field](RadioProfile& p, std::string_view v) {
        const std::string text(Trim(v));
        char* end = nullptr;
        const double rate = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(rate) || rate < 0 || rate > 1) {
            return false;
        }
        p.*field = rate;
        return true;
    };
}

Setter SwitchSetter(bool RadioProfile::*field)
{
    return [field](RadioProfile& p, std::string_view v) {
        const auto value = ParseSwitch(v);
        if (value) {
            p.*field = *value;
        }
        return value.has_value();
    };
}

Setter TextSetter(std::string RadioProfile::*field)
{
    return [field](RadioProfile& p, std::string_view v) {
        p.*field = std::string(Trim(v));
        return true;
    };
}

Setter TriggerListSetter(std::vector<MessageTrigger> RadioProfile::*field)
{
    return [field](RadioProfile& p, std::string_view v) {
        const auto list = ParseTriggerList(v);
        if (list) {
            p.*field = *list;
        }
        return list.has_value();
    };
}

const std::vector<Setting>& Settings()
{
    static const std::vector<Setting> settings{
        // Line.
        {"port", "PATH",
         "serve on this serial device (for example /dev/ttyUSB1) instead of a new pseudo-terminal",
         TextSetter(&RadioProfile::port)},
        {"interface", "box|direct|half-duplex",
         "box: the interface box answers the probe with 09 02 (default); direct: plain cable, the "
         "probe goes unanswered; half-duplex: plain two-wire cable, the program hears its own bytes back",
         [](RadioProfile& p, std::string_view v) {
             v = Trim(v);
             if (v == "box") {
                 p.interface = Interface::Box;
             } else if (v == "direct") {
                 p.interface = Interface::Direct;
             } else if (v == "half-duplex") {
                 p.interface = Interface::HalfDuplex;
             } else {
                 return false;
             }
             return true;
         }},
        {"start-baud", "9600|19200|38400|57600|115200",
         "the line speed the radio listens at when it starts, before any 09 00; 115200 stands for a "
         "radio left there by an interrupted update (default 19200; a restart still comes back at 19200)",
         [](RadioProfile& p, std::string_view v) {
             const auto baud = ParseUnsigned(v);
             if (!baud ||
                 (*baud != 9600 && *baud != 19200 && *baud != 38400 && *baud != 57600 && *baud != 115200)) {
                 return false;
             }
             p.startBaud = static_cast<int>(*baud);
             return true;
         }},
        {"pace", "on|off",
         "carry bytes at the real line speed, baud/10 bytes a second in both directions (default off)",
         SwitchSetter(&RadioProfile::pace)},
        {"latency-ms", "MS", "wait before every reply (default 0)", UnsignedSetter(&RadioProfile::latencyMs)},
        {"time-scale", "0.0001..10",
         "multiplies the radio's own durations (latency, erase, restart, delays), not the line's pace; "
         "default AUREX_TIME_SCALE, else 1",
         [](RadioProfile& p, std::string_view v) {
             const std::string text(Trim(v));
             char* end = nullptr;
             const double factor = std::strtod(text.c_str(), &end);
             if (text.empty() || *end != '\0' || !TimeScaleInRange(factor)) {
                 return false;
             }
             p.timeScale = factor;
             return true;
         }},
        // Identity.
        {"serial", "HEX16",
         "serial number and identity, 8 bytes (default 00 00 1A 2B 3C 4D 5E 6F); it also starts the "
         "codeplug download descrambling",
         [](RadioProfile& p, std::string_view v) {
             const auto bytes = ParseHexBytes<8>(v);
             if (bytes) {
                 p.serial = *bytes;
             }
             return bytes.has_value();
         }},
        {"dsp-version", "A.B.C", "DSP software version, reply 04 0C (default 3.1.4)",
         VersionSetter(&RadioProfile::dspVersion)},
        {"controller-version", "A.B.C",
         "controller software version, reply 04 0A (default 4.2.0; a major of 2, 4 or 6 makes the "
         "program ask for the SEM version)",
         VersionSetter(&RadioProfile::controllerVersion)},
        {"hardware-version", "A.B.C", "hardware revision, reply 04 08 (default 1.0.2)",
         VersionSetter(&RadioProfile::hardwareVersion)},
        {"boot-version", "MAJOR.MINOR",
         "boot load version, reply 04 2E; the major is the radio's series (default 4.0)",
         VersionSetter(&RadioProfile::bootVersion)},
        {"sem-version", "MAJOR.MINOR", "SEM version, reply 04 3F (default 1.3)",
         VersionSetter(&RadioProfile::semVersion)},
        {"format", "MAJOR.MINOR",
         "codeplug format the firmware expects, reply 04 1D (default: the held codeplug's version)",
         [](RadioProfile& p, std::string_view v) {
             const auto version = ParseVersion<2>(Trim(v));
             if (version) {
                 p.format = *version;
             }
             return version.has_value();
         }},
        {"format-after-update", "MAJOR.MINOR",
         "codeplug format the new firmware expects after a code update and restart (default 5.10)",
         VersionSetter(&RadioProfile::formatAfterUpdate)},
        {"decline", "CODE,...",
         "identification requests (class 04) answered with 04 20 every time, for example 04 2D,04 3E "
         "(default none)",
         [](RadioProfile& p, std::string_view v) {
             const auto list = ParseTriggerList(v);
             if (!list || std::any_of(list->begin(), list->end(), [](const MessageTrigger& t) {
                     return t.classByte != 0x04 || t.occurrence != 0;
                 })) {
                 return false;
             }
             p.decline = *list;
             return true;
         }},
        {"identity-notice", "on|off",
         "send 07 25 before the first identity reply (04 05) after each restart (default off)",
         SwitchSetter(&RadioProfile::identityNotice)},
        // Behaviour.
        {"mode", "boot-load|application",
         "state at start: boot-load takes code downloads (default), application takes codeplug "
         "transfers; identification works in both",
         [](RadioProfile& p, std::string_view v) {
             v = Trim(v);
             if (v == "boot-load") {
                 p.mode = StartMode::BootLoad;
             } else if (v == "application") {
                 p.mode = StartMode::Application;
             } else {
                 return false;
             }
             return true;
         }},
        {"not-ready", "N", "answer 02 01 with 02 0A (not ready) N times before the ready 02 07 (default 0)",
         UnsignedSetter(&RadioProfile::notReady)},
        {"erase-ms", "MS",
         "flash erase after a loader; frames that arrive meanwhile are lost (default 500, half the updater's "
         "shortest wait; 0 for a "
         "DSP loader, which does not erase)",
         UnsignedSetter(&RadioProfile::eraseMs)},
        {"restart-ms", "MS",
         "restart after new code or a DSP download; frames other than 09 00 are lost meanwhile and the "
         "radio comes back at 19200 baud (default 5000)",
         UnsignedSetter(&RadioProfile::restartMs)},
        {"boot-updates", "N",
         "the first N code images are boot code: the radio restarts into boot-load mode after each "
         "(default 0)",
         UnsignedSetter(&RadioProfile::bootUpdates)},
        {"flash-base", "ADDRESS",
         "flash address of a code image's first byte, for the verify failure (default 0x00020000)",
         [](RadioProfile& p, std::string_view v) {
             const auto value = ParseUnsigned(v);
             if (value) {
                 p.flashBase = *value;
             }
             return value.has_value();
         }},
        {"password", "DIGITS",
         "codeplug password: transfers start with 03 0B and need this password in 03 0C (default none)",
         [](RadioProfile& p, std::string_view v) {
             v = Trim(v);
             if (v.size() > 8 ||
                 !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                 return false;
             }
             p.password = std::string(v);
             return true;
         }},
        {"accept-reply", "0D|0E", "command byte of the reply that lets a transfer proceed (default 0D)",
         [](RadioProfile& p, std::string_view v) {
             v = Trim(v);
             if (v == "0D" || v == "0d") {
                 p.acceptCommand = 0x0D;
             } else if (v == "0E" || v == "0e") {
                 p.acceptCommand = 0x0E;
             } else {
                 return false;
             }
             return true;
         }},
        {"checksum-every", "N", "codeplug download blocks between two 03 03 checksum reports (default 2)",
         [](RadioProfile& p, std::string_view v) {
             const auto value = ParseUnsigned(v, 256);
             if (!value || *value == 0) {
                 return false;
             }
             p.checksumEvery = *value;
             return true;
         }},
        {"codeplug", "FILE",
         "codeplug the radio holds, as it travels on the line (16-bit words, high byte first; at most "
         "32768 bytes); default a valid 5.8 image",
         TextSetter(&RadioProfile::codeplugFile)},
        // Faults.
        {"silent-from", "N", "fault: answer nothing from the N-th received frame on",
         UnsignedSetter(&RadioProfile::silentFrom)},
        {"silent-at", "CODE[#K]", "fault: answer nothing from the K-th (default first) message CODE on",
         [](RadioProfile& p, std::string_view v) {
             const auto trigger = ParseTrigger(v);
             if (trigger) {
                 p.silentAt = *trigger;
                 if (p.silentAt->occurrence == 0) {
                     p.silentAt->occurrence = 1;
                 }
             }
             return trigger.has_value();
         }},
        {"unanswered", "CODE[#K],...",
         "fault: take no notice of message CODE, every time or only its K-th occurrence, for example "
         "04 2D or 02 01#2",
         TriggerListSetter(&RadioProfile::unanswered)},
        {"bad-checksum", "once|always|N",
         "fault: report a wrong pair checksum (02 02) for the first pair, every pair, or the N-th pair",
         [](RadioProfile& p, std::string_view v) {
             v = Trim(v);
             if (v == "once") {
                 p.badChecksum = BadChecksum::Once;
             } else if (v == "always") {
                 p.badChecksum = BadChecksum::Always;
             } else if (v == "never") {
                 p.badChecksum = BadChecksum::Never;
             } else if (const auto n = ParseUnsigned(v); n && *n > 0) {
                 p.badChecksum = BadChecksum::AtPair;
                 p.badChecksumPair = *n;
             } else {
                 return false;
             }
             return true;
         }},
        {"verify-fail", "N",
         "fault: flash verify fails at the N-th data block of a code image: the ready after its pair's "
         "checksum is 02 0A with the block's address",
         UnsignedSetter(&RadioProfile::verifyFailBlock)},
        {"corrupt", "CODE[#K],...", "fault: the replies to message CODE go out with a wrong checksum",
         TriggerListSetter(&RadioProfile::corrupt)},
        {"delay", "CODE[#K]:MS,...", "fault: the replies to message CODE wait MS milliseconds more",
         [](RadioProfile& p, std::string_view v) {
             std::vector<DelayedReply> delays;
             for (std::string_view part : SplitList(v)) {
                 const std::size_t colon = part.rfind(':');
                 if (colon == std::string_view::npos) {
                     return false;
                 }
                 const auto trigger = ParseTrigger(part.substr(0, colon));
                 const auto ms = ParseUnsigned(part.substr(colon + 1));
                 if (!trigger || !ms) {
                     return false;
                 }
                 delays.push_back({*trigger, *ms});
             }
             p.delay = delays;
             return true;
         }},
        {"noise-drop", "RATE",
         "fault: every byte on the line, either way, is lost with this probability (0 to 1, e.g. 1e-3)",
         RateSetter(&RadioProfile::noiseDrop)},
        {"noise-corrupt", "RATE",
         "fault: every byte on the line, either way, arrives changed with this probability (0 to 1)",
         RateSetter(&RadioProfile::noiseCorrupt)},
        {"noise-seed", "N",
         "the seed of noise-drop and noise-corrupt: the same seed strikes the same bytes (default 1)",
         [](RadioProfile& p, std::string_view v) {
             const std::string text(Trim(v));
             char* end = nullptr;
             errno = 0;
             const unsigned long long seed = std::strtoull(text.c_str(), &end, 10);
             if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0) {
                 return false;
             }
             p.noiseSeed = seed;
             return true;
         }},
        {"keeps-other", "N",
         "fault: a codeplug download ends as usual, but the radio keeps the codeplug with its N-th byte "
         "inverted (1 the first; 0 never)",
         UnsignedSetter(&RadioProfile::keepsOther)},
        {"drop-after", "N",
         "fault: once the N-th received frame is answered, close the line (the pseudo-terminal hangs "
         "up) and exit",
         UnsignedSetter(&RadioProfile::dropAfter)},
        // Output.
        {"dump-dir", "DIR",
         "write what the radio received: each flashed image (NN-loader.bin, NN-code.bin, "
         "NN-boot-code.bin, NN-dsp-page-P.bin) and each downloaded codeplug, descrambled (NN-codeplug.bin)",
         TextSetter(&RadioProfile::dumpDir)},
        {"verbose", nullptr, "log every frame in and out on standard error",
         SwitchSetter(&RadioProfile::verbose)},
    };
    return settings;
}

const Setting* FindSetting(std::string_view name)
{
    for (const Setting& s : Settings()) {
        if (name == s.name) {
            return &s;
        }
    }
    return nullptr;
}

std::string ApplyProfileFile(RadioProfile& profile, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "cannot read profile " + path;
    }
    std::ostringstream text;
    // Profiles are a few lines; anything this large is not one.
    constexpr std::size_t kMaxProfileBytes = 64 * 1024;
    std::string buffer(kMaxProfileBytes + 1, '\0');
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    buffer.resize(static_cast<std::size_t>(in.gcount()));
    if (buffer.size() > kMaxProfileBytes) {
        return "profile " + path + " is larger than 64 KiB";
    }
    return ApplyProfileText(profile, buffer, path);
}

} // namespace

std::optional<MessageTrigger> ParseTrigger(std::string_view text)
{
    text = Trim(text);
    MessageTrigger trigger;
    const std::size_t hash = text.find('#');
    if (hash != std::string_view::npos) {
        const auto k = ParseUnsigned(text.substr(hash + 1));
        if (!k || *k == 0) {
            return std::nullopt;
        }
        trigger.occurrence = *k;
        text = text.substr(0, hash);
    }
    const auto code = ParseHexBytes<2>(text);
    if (!code) {
        return std::nullopt;
    }
    trigger.classByte = (*code)[0];
    trigger.commandByte = (*code)[1];
    return trigger;
}

std::string DescribeTrigger(const MessageTrigger& trigger)
{
    std::string out = EncodeHex(std::array<std::uint8_t, 2>{trigger.classByte, trigger.commandByte}, ' ');
    if (trigger.occurrence != 0) {
        out += " #" + std::to_string(trigger.occurrence);
    }
    return out;
}

std::string ApplySetting(RadioProfile& profile, std::string_view name, std::string_view value)
{
    const Setting* setting = FindSetting(Trim(name));
    if (setting == nullptr) {
        return "unknown setting \"" + std::string(Trim(name)) + "\" (see --help)";
    }
    if (!setting->set(profile, value)) {
        return "bad value \"" + std::string(Trim(value)) + "\" for " + setting->name + " (expected " +
               (setting->value != nullptr ? setting->value : "on|off") + ")";
    }
    return {};
}

std::string ApplyProfileText(RadioProfile& profile, std::string_view text, std::string_view sourceName)
{
    unsigned lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string_view name = line.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
        if (const std::string error = ApplySetting(profile, name, value); !error.empty()) {
            return std::string(sourceName) + ":" + std::to_string(lineNumber) + ": " + error;
        }
    }
    return {};
}

ParseResult ParseCommandLine(RadioProfile& profile, const std::vector<std::string>& args)
{
    ParseResult result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.kind = ParseResult::Kind::Help;
            return result;
        }
        if (arg.rfind("--", 0) != 0) {
            result.kind = ParseResult::Kind::Error;
            result.error = "unexpected argument \"" + arg + "\" (see --help)";
            return result;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "profile") {
            if (!value && i + 1 < args.size()) {
                value = args[++i];
            }
            std::string error = value ? ApplyProfileFile(profile, *value) : "--profile needs a file";
            if (!error.empty()) {
                result.kind = ParseResult::Kind::Error;
                result.error = error;
                return result;
            }
            continue;
        }
        const Setting* setting = FindSetting(name);
        if (setting == nullptr) {
            result.kind = ParseResult::Kind::Error;
            result.error = "unknown option --" + name + " (see --help)";
            return result;
        }
        if (!value) {
            // A switch stands alone unless an on/off word follows it.
            const bool isSwitch = setting->value == nullptr || std::string_view(setting->value) == "on|off";
            if (isSwitch && (i + 1 >= args.size() || !ParseSwitch(args[i + 1]) || args[i + 1].empty())) {
                value = "on";
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                result.kind = ParseResult::Kind::Error;
                result.error = "--" + name + " needs a value (" + setting->value + ")";
                return result;
            }
        }
        if (std::string error = ApplySetting(profile, name, *value); !error.empty()) {
            result.kind = ParseResult::Kind::Error;
            result.error = error;
            return result;
        }
    }
    return result;
}

std::string HelpText()
{
    std::string text =
        "usage: aurex-radio-sim [--profile FILE] [--SETTING VALUE | --SETTING=VALUE]...\n"
        "\n"
        "A simulated radio for Aurex Code Updater. It creates a pseudo-terminal, prints the device\n"
        "path on the first line of standard output and serves as a radio on it until SIGINT or\n"
        "SIGTERM (or the drop-after fault). Point the updater at the printed path (AUREX_COM1=path).\n"
        "With --port it serves on a real serial device instead. It starts at 19200 baud (or at\n"
        "start-baud), follows the 09 00 baud-rate message, and garbles bytes sent while the\n"
        "program's end of the pseudo-terminal is set to another speed. Events go to standard error.\n"
        "\n"
        "Settings apply in the order given; --profile FILE applies a file of NAME=VALUE lines at\n"
        "its place (blank lines and lines starting with # are ignored). CODE is a message code in\n"
        "hex, such as 04 2D or 042D; CODE#K means only its K-th occurrence. Durations scale with\n"
        "time-scale; the line's pace does not.\n"
        "\n"
        "  -h, --help\n"
        "      show this text and exit\n"
        "  --profile FILE\n"
        "      apply the settings of FILE\n";
    for (const Setting& s : Settings()) {
        text += "  --";
        text += s.name;
        if (s.value != nullptr) {
            text += ' ';
            text += s.value;
        }
        text += "\n      ";
        // Wrap the help at about 90 columns.
        std::size_t column = 6;
        std::istringstream words(s.help);
        std::string word;
        bool first = true;
        while (words >> word) {
            if (!first && column + 1 + word.size() > 92) {
                text += "\n      ";
                column = 6;
                first = true;
            }
            if (!first) {
                text += ' ';
                ++column;
            }
            text += word;
            column += word.size();
            first = false;
        }
        text += '\n';
    }
    return text;
}

long long ScaledMicroseconds(const RadioProfile& profile, unsigned milliseconds)
{
    if (milliseconds == 0) {
        return 0;
    }
    const double us = std::ceil(static_cast<double>(milliseconds) * 1000.0 * profile.timeScale);
    return std::max(1LL, static_cast<long long>(std::min(us, 1e15)));
}

} // namespace aurex::sim
