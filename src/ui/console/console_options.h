#pragma once

// The console's command line: what it asks for, checked before anything is opened.

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace aurex {

struct ConsoleOptions
{
    std::optional<int> port;           // COM number
    std::optional<std::string> device; // a device path instead of a COM number
    // Every --port and --device as given, {option, value}: several mean one update per port.
    std::vector<std::array<std::string, 2>> ports;
    bool checkPort = false; // the connection check instead of an update
    bool boot = false;
    std::optional<std::string> password;      // the update password
    std::optional<std::string> radioPassword; // the radio's own codeplug password; empty: it has none
    bool radioPasswordInput = false;          // that password is the first line of standard input
    bool retrieve = false;
    bool backup = false;                      // the codeplug into a backup instead of an update
    std::optional<std::string> restore;       // a backup to put back into the radio
    bool allowBootDowngrade = false;          // older boot code may replace the radio's
    bool otherRadio = false;                  // a backup of another radio may be restored
    bool allowLosses = false;                 // a restore's conversion may drop or empty records
    bool noVerify = false;                    // no read-back after a codeplug write
    std::optional<std::string> trace;         // the whole line trace into this file
    bool history = false;                     // print the update history instead of a run
    std::string historyIdentity;              // only this radio's rows
    bool csv = false;                         // the history as CSV
    std::optional<std::string> supportBundle; // write a support bundle instead of a run
    bool withCodeplugs = false;               // the bundle holds the newest codeplug backups too
    std::optional<int> waitForRadio;          // seconds to wait for a radio to answer before a run
    bool repeat = false;                      // radio after radio on one port
    bool yes = false;                         // answer OK / Yes to every box
    bool json = false; // every event as a JSON line on standard output, the human text on standard error
    bool help = false;
    bool version = false;
    bool traceCodeplugData = false; // the trace holds the codeplug's blocks whole
    bool force = false;             // an existing regular file may be replaced
};

// Parses the options after the program name; false with `error` set for a bad one.
bool ParseConsoleOptions(const std::vector<std::string>& args, ConsoleOptions& options, std::string& error);

std::string ConsoleUsage();

} // namespace aurex
