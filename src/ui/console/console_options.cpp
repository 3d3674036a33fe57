#include "ui/console/console_options.h"

#include <algorithm>

#include "app/window_rules.h"
#include "transfer/password_encoding.h"

namespace aurex {

namespace {

// A working day: a script that waits longer has lost its radio.
constexpr int kMostWaitSeconds = 86400;
// More radios than a bench holds would only share two cores thinner.
constexpr std::size_t kMostPortsAtOnce = 16;

bool ParseComNumber(const std::string& text, ConsoleOptions& options, std::string& error)
{
    int n = 0;
    bool digits = !text.empty() && text.size() <= 2;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
    }
    if (digits) {
        n = std::stoi(text);
    }
    if (!digits || n < 1 || n > kPortCount) {
        error = "a COM number goes from 1 to 64, not \"" + text + "\"";
        return false;
    }
    options.port = n;
    return true;
}

// Several ports: one update on each, side by side.
bool CheckManyPorts(const ConsoleOptions& options, std::string& error)
{
    if (options.checkPort || options.retrieve || options.backup || options.restore || options.history ||
        options.supportBundle || options.repeat || options.trace) {
        error = "several ports go with an update only (not with --check-port, --retrieve, --backup, "
                "--restore, --history, --support-bundle, --repeat or --trace)";
        return false;
    }
    if (options.json) {
        error = "--json goes with one port: with several, each port's process writes its own events";
        return false;
    }
    if (options.ports.size() > kMostPortsAtOnce) {
        error = "at most " + std::to_string(kMostPortsAtOnce) + " ports at once";
        return false;
    }
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (options.ports[i] == options.ports[j]) {
                error = options.ports[i][0] + " " + options.ports[i][1] + " is given twice";
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool ParseConsoleOptions(const std::vector<std::string>& args, ConsoleOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // The option's value into `out`, a string or an optional one.
        auto value = [&](auto& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        // A value that names something, so cannot be empty: `takes` says what.
        auto nonEmptyValue = [&](std::optional<std::string>& out, const char* takes) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = a + " takes " + takes;
                return false;
            }
            out = text;
            return true;
        };
        if (a == "--console") {
            continue;
        }
        if (a == "--yes" || a == "-y") {
            options.yes = true;
        } else if (a == "--boot") {
            options.boot = true;
        } else if (a == "--retrieve") {
            options.retrieve = true;
        } else if (a == "--backup") {
            options.backup = true;
        } else if (a == "--restore") {
            if (!nonEmptyValue(options.restore, "the backup file to put back into the radio")) {
                return false;
            }
        } else if (a == "--radio-password") {
            if (!value(options.radioPassword)) {
                return false;
            }
            // Anything else would be sent as another password than the one given, or as none.
            if (!IsRadioPasswordText(*options.radioPassword)) {
                error = "--radio-password takes the radio's codeplug password: 1 to 8 digits 0-9";
                return false;
            }
        } else if (a == "--radio-password-input") {
            options.radioPasswordInput = true;
        } else if (a == "--trace") {
            if (!nonEmptyValue(options.trace, "the file to write the line trace to")) {
                return false;
            }
        } else if (a == "--trace-codeplug-data") {
            options.traceCodeplugData = true;
        } else if (a == "--force") {
            options.force = true;
        } else if (a == "--history") {
            options.history = true;
            // A radio identity may follow.
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                options.historyIdentity = args[++i];
            }
        } else if (a == "--json") {
            options.json = true;
        } else if (a == "--csv") {
            options.csv = true;
        } else if (a == "--support-bundle") {
            if (!nonEmptyValue(options.supportBundle, "the .tar.gz file to write")) {
                return false;
            }
        } else if (a == "--with-codeplugs") {
            options.withCodeplugs = true;
        } else if (a == "--wait-for-radio") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            const bool digits =
                !text.empty() && text.size() <= 5 &&
                std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!digits || std::stoi(text) > kMostWaitSeconds) {
                error = "--wait-for-radio takes whole seconds from 0 to " + std::to_string(kMostWaitSeconds) +
                        ", not \"" + text + "\"";
                return false;
            }
            options.waitForRadio = std::stoi(text);
        } else if (a == "--repeat") {
            options.repeat = true;
        } else if (a == "--allow-boot-downgrade") {
            options.allowBootDowngrade = true;
        } else if (a == "--other-radio") {
            options.otherRadio = true;
        } else if (a == "--allow-losses") {
            options.allowLosses = true;
        } else if (a == "--no-verify") {
            options.noVerify = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--password") {
            if (!value(options.password)) {
                return false;
            }
        } else if (a == "--port") {
            std::string text;
            if (!value(text) || !ParseComNumber(text, options, error)) {
                return false;
            }
            options.ports.push_back({"--port", text});
        } else if (a == "--device") {
            if (!nonEmptyValue(options.device,
                               "a device path, such as /dev/ttyUSB0 or a /dev/serial/by-id name")) {
                return false;
            }
            options.ports.push_back({"--device", *options.device});
        } else if (a == "--check-port") {
            options.checkPort = true;
            // The port may follow, as a COM number or a device path, or come from --port/--device.
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                const std::string& text = args[++i];
                if (!text.empty() && (text[0] < '0' || text[0] > '9')) {
                    options.device = text;
                } else if (!ParseComNumber(text, options, error)) {
                    return false;
                }
            }
        } else {
            error = "unknown option \"" + a + "\"";
            return false;
        }
    }
    if (options.radioPassword && options.radioPasswordInput) {
        error = "give either --radio-password or --radio-password-input, not both";
        return false;
    }
    if (options.force && !options.supportBundle && !options.trace) {
        error = "--force goes with --support-bundle or --trace only";
        return false;
    }
    if (options.traceCodeplugData && !options.trace) {
        error = "--trace-codeplug-data goes with --trace only";
        return false;
    }
    if (options.ports.size() > 1) {
        return CheckManyPorts(options, error);
    }
    if (options.port && options.device) {
        error = "give either a COM number or a device path, not both";
        return false;
    }
    if (options.checkPort && (options.boot || options.retrieve || options.password)) {
        error =
            "--check-port checks the connection only; it does not go with --boot, --retrieve or --password";
        return false;
    }
    if (options.boot && options.retrieve) {
        error = "--boot chooses what Start loads; it does not go with --retrieve";
        return false;
    }
    const int actions = int(options.checkPort) + int(options.retrieve) + int(options.backup) +
                        int(options.restore.has_value()) + int(options.history) +
                        int(options.supportBundle.has_value());
    if (actions > 1) {
        error = "choose one of --check-port, --retrieve, --backup, --restore, --history and --support-bundle";
        return false;
    }
    if (options.csv && !options.history) {
        error = "--csv goes with --history only";
        return false;
    }
    if (options.json && options.history) {
        error = "--json does not go with --history; --csv gives the history to scripts";
        return false;
    }
    if (options.withCodeplugs && !options.supportBundle) {
        error = "--with-codeplugs goes with --support-bundle only";
        return false;
    }
    if ((options.history || options.supportBundle) && (options.boot || options.password || options.trace)) {
        error = "--history and --support-bundle talk to no radio; they do not go with --boot, --password or "
                "--trace";
        return false;
    }
    if ((options.backup || options.restore) && options.boot) {
        error = "--boot chooses what an update loads; it does not go with --backup or --restore";
        return false;
    }
    if ((options.waitForRadio || options.repeat) && actions > 0) {
        error = "--wait-for-radio and --repeat go with an update only";
        return false;
    }
    if ((options.otherRadio || options.allowLosses) && !options.restore) {
        error = std::string(options.otherRadio ? "--other-radio" : "--allow-losses") +
                " goes with --restore only";
        return false;
    }
    return true;
}

std::string ConsoleUsage()
{
    return "usage: aurex-code-updater --console [--port N | --device PATH] [--boot] [--password TEXT]\n"
           "                                    [--radio-password DIGITS | --radio-password-input]\n"
           "                                    [--retrieve] [--no-verify]\n"
           "                                    [--allow-boot-downgrade] [--trace FILE] [--yes] [--json]\n"
           "                                    [--trace-codeplug-data] [--force]\n"
           "                                    [--wait-for-radio SECONDS] [--repeat]\n"
           "       aurex-code-updater --console [--port N | --device PATH] --backup\n"
           "       aurex-code-updater --console [--port N | --device PATH] --restore FILE [--other-radio]\n"
           "                                    [--allow-losses] [--no-verify]\n"
           "       aurex-code-updater --console --check-port [N | PATH]\n"
           "       aurex-code-updater --console --version\n"
           "       aurex-code-updater --console --history [IDENTITY] [--csv]\n"
           "       aurex-code-updater --console [--port N | --device PATH] --support-bundle FILE\n"
           "                                    [--with-codeplugs] [--force]\n"
           "  --port N         use COM N (1-64; on Linux COM 1-16 are /dev/ttyS0-15, COM 17-40\n"
           "                   /dev/ttyUSB0-23, COM 41-64 /dev/ttyACM0-23); default COM 1\n"
           "                   A port you may not open (not in group dialout, or not logged in\n"
           "                   again since you were added) exits 4 before the password is asked\n"
           "  --device PATH    use the serial device at PATH, e.g. a /dev/serial/by-id/ name\n"
           "                   --port and --device given several times update a radio on each\n"
           "                   port at once, one process per port: a line per port (step,\n"
           "                   progress, time left), then a table; exit status 0 when every port\n"
           "                   succeeded, else that of the last port that did not\n"
           "  --check-port     check the connection on the port (COM N or PATH here, else --port or\n"
           "                   --device): device, permission, programs holding it, adapter, line and\n"
           "                   radio; exit status 0 when nothing is in the way, else 1 (3: stopped)\n"
           "  --boot           load the boot code where this updater offers the choice\n"
           "  --password TEXT  the update password (else asked for at the terminal)\n"
           "  --allow-boot-downgrade  load this updater's boot code into a radio whose boot code is\n"
           "                   newer (refused without it; the window asks)\n"
           "  --radio-password DIGITS  the radio's own codeplug password (1 to 8 digits), for a radio\n"
           "                   that asks for one (else asked for at the terminal; with several\n"
           "                   ports asked once, before any port starts)\n"
           "  --radio-password-input  read the radio's codeplug password from the first line of\n"
           "                   standard input instead (an empty line: the radio has none), so that\n"
           "                   it stays out of the process list\n"
           "  --retrieve       read the radio's version information instead of updating\n"
           "  --backup         save the codeplug of a radio started normally in the backups folder;\n"
           "                   nothing is written to the radio\n"
           "  --restore FILE   put a backup back into a radio started normally: what the radio holds\n"
           "                   is backed up first, the backup converted to the radio's format,\n"
           "                   written and read back. It asks first, naming the radio and the\n"
           "                   backup; without a terminal to answer at it needs --yes (else exit\n"
           "                   status 2, nothing sent)\n"
           "  --other-radio    restore a backup made from another radio (refused without it)\n"
           "  --allow-losses   restore a backup whose conversion to the radio's format drops or\n"
           "                   empties records (refused without it, before anything is written)\n"
           "  --no-verify      do not read a written codeplug back to compare it\n"
           "  --trace FILE     write every frame on the line, both ways, to FILE, a new file made\n"
           "                   0600 (the password's digits and the codeplug blocks' bytes are\n"
           "                   masked)\n"
           "  --trace-codeplug-data  write the codeplug blocks whole into the --trace file (it then\n"
           "                   holds the radio's passwords; a support bundle takes it only with\n"
           "                   --with-codeplugs)\n"
           "  --force          replace an existing regular file named by --trace or\n"
           "                   --support-bundle (anything else there is always refused)\n"
           "  --history        print the update history (only IDENTITY's runs when given); --csv\n"
           "                   prints it as CSV\n"
           "  --support-bundle FILE  write a new .tar.gz of the newest run logs and traces, the\n"
           "                   connection check of the port (no line probes), the program's name and\n"
           "                   release and the history's last 20 rows; --with-codeplugs adds the\n"
           "                   newest codeplug backups\n"
           "  --yes            answer OK or Yes to every message\n"
           "  --wait-for-radio SECONDS  look for a radio in boot-load mode on the port every second\n"
           "                   (interface box probe, boot version query at 19200 baud, then at\n"
           "                   115200 where an interrupted run leaves a radio) and start once one\n"
           "                   answers; exit status 6 when none does in time (4: the port never\n"
           "                   opened). Without a terminal, or with --yes, a run that refreshed the\n"
           "                   boot code waits as long (default 120 s) for the radio to come back in\n"
           "                   boot-load mode instead of going on at once\n"
           "  --repeat         update radio after radio on the port: after each, one result line;\n"
           "                   then it waits for that radio to go and the next to answer. Ctrl-C\n"
           "                   ends after the radio under way (twice: stops it), then a table of\n"
           "                   every radio. Exit status 0 when every radio was updated, else that\n"
           "                   of the last one that was not\n"
           "  --json           (any command but --history) write every event as one JSON object a\n"
           "                   line on standard output: status, progress, box, radio, result (see\n"
           "                   README.md); the text for people, prompts included, goes to standard error.\n"
           "                   Events that cannot be written (a full disk) are said on standard\n"
           "                   error, and the command then fails (1 instead of 0)\n"
           "Exit status (the same numbers as the update history's result code):\n"
           "   0  done: \"Done.\" with the codeplug kept, converted and (unless --no-verify) verified;\n"
           "      a boot code load that finished; version information read; a backup saved; a\n"
           "      restore written (and read back equal, or not answered)\n"
           "   1  any other failure        2  wrong usage              3  stopped\n"
           "   4  the port cannot be opened                            5  the radio does not fit\n"
           "   6  the radio did not answer                             7  the code download failed\n"
           "   8  the codeplug could not be read out                   9  the codeplug could not be\n"
           "      written back                                        10  the codeplug read back differs\n"
           "  11  the update password was not accepted                12  \"Done.\", but the codeplug\n"
           "      was left unconverted (a format this updater does not convert)\n"
           "  13  the radio refused its codeplug password (an update then leaves the new code with\n"
           "      the codeplug unconverted)\n"
           "  14  the radio answered but did not start the code download: it is running its normal\n"
           "      code; nothing was written (restart it in boot-load mode)\n"
           "  --check-port exits 0 when nothing is in the way, else 1; 3 when stopped.\n"
           "Every run leaves a log in the data folder's logs/ (the newest 100 are kept) and a row in\n"
           "the update history there ($XDG_DATA_HOME/Aurex Code Updater, else\n"
           "~/.local/share/Aurex Code Updater).\n"
           "Ctrl-C, SIGTERM and SIGHUP during a run press Stop; once the new code is in the radio,\n"
           "the codeplug step is finished first (as is a codeplug being written back by --restore).\n"
           "A Stop during the read-back of --restore exits 3: the codeplug is written, not verified.\n";
}

} // namespace aurex
