#include "ui/console/console_production.h"

#include <string>
#include <vector>

#include "app/line_check.h"
#include "app/radio_wait.h"
#include "link/com_port_map.h"

namespace aurex {

namespace {

// Where a radio in boot-load mode listens when a run begins.
constexpr std::int32_t kRunStartBaud = 19200;

int ExitCode(RunResult result)
{
    return static_cast<int>(result);
}

std::string PortText(const TCodeUpdaterMainDispForm& form)
{
    return ComDevicePath(form.SelectedComNumber());
}

// Waits on the selected port; Ctrl-C ends the wait.
WaitEnd Wait(TCodeUpdaterMainDispForm& form, ConsoleHost& host, std::FILE* out, RadioWanted wanted,
             std::optional<std::chrono::milliseconds> limit, RadioLook& last)
{
    RadioWait wait;
    const std::string device = PortText(form);
    wait.look = [device] { return LookForRadio(device); };
    wait.wanted = wanted;
    wait.limit = limit;
    wait.stopped = [&host] { return host.stopRequested; };
    host.waitingForRadio = true;
    const WaitEnd end = WaitForRadio(wait, last);
    host.waitingForRadio = false;
    if (end == WaitEnd::Found && last.presence == RadioPresence::Answered && last.baud != kRunStartBaud) {
        // The run goes on: it sets the radio back to 19200 before anything else.
        const ports::Finding left = LeftAtInterruptedRunBaud(last.bootVersion);
        std::fprintf(out, "%s The run sets it back to 19200 baud.\n", left.text.c_str());
        std::fflush(out);
    }
    return end;
}

std::optional<std::chrono::milliseconds> Limit(const ConsoleOptions& options)
{
    if (!options.waitForRadio) {
        return std::nullopt;
    }
    return std::chrono::seconds(*options.waitForRadio);
}

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f s", seconds);
    return text;
}

} // namespace

int RunOneUpdate(TCodeUpdaterMainDispForm& form, ConsoleHost& host, std::FILE* out)
{
    form.m_StartButton.Click();
    host.EndProgressLine();
    if (!form.m_PasswordAccepted && host.stopRequested) {
        std::fprintf(out, "Stopped before the update began.\n");
        return ExitCode(RunResult::Stopped);
    }
    if (!form.m_PasswordAccepted) {
        // The status line has said why; a port this user may not open is refused before the
        // password is asked.
        return ExitCode(form.m_LastRunResult == RunResult::PortNotOpened ? RunResult::PortNotOpened
                                                                         : RunResult::PasswordRefused);
    }
    if (form.m_CodeplugBackupLabel.Visible()) {
        std::fprintf(out, "%s\n", form.m_CodeplugBackupLabel.Caption().c_str());
    }
    if (form.m_BootDowngradeRefused) {
        std::fprintf(out, "Give --allow-boot-downgrade to load the older boot code all the same.\n");
    }
    return ExitCode(form.m_LastRunResult);
}

int WaitForFirstRadio(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                      std::FILE* out)
{
    std::fprintf(out, "Waiting up to %d s for a radio in boot-load mode on %s...\n", *options.waitForRadio,
                 PortText(form).c_str());
    std::fflush(out);
    RadioLook last;
    switch (Wait(form, host, out, RadioWanted::Present, Limit(options), last)) {
    case WaitEnd::Found:
        std::fprintf(out, "A radio answered (%s).\n", BootVersionText(last.bootVersion).c_str());
        return 0;
    case WaitEnd::Stopped:
        std::fprintf(out, "Stopped while waiting for the radio.\n");
        return ExitCode(RunResult::Stopped);
    case WaitEnd::TimedOut:
        break;
    }
    const std::string why =
        last.presence == RadioPresence::NoPort ? " (the port could not be opened: " + last.detail + ")" : "";
    std::fprintf(out, "No radio answered on %s within %d s%s.\n", PortText(form).c_str(),
                 *options.waitForRadio, why.c_str());
    return ExitCode(last.presence == RadioPresence::NoPort ? RunResult::PortNotOpened : RunResult::NoAnswer);
}

int RunRepeatedUpdates(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                       std::FILE* out)
{
    std::vector<HistoryRow> rows;
    int status = 0;
    for (int radio = 1;; ++radio) {
        // The first radio is waited for only with --wait-for-radio: it is simply there.
        if (radio > 1 || options.waitForRadio) {
            std::fprintf(out, "Waiting for %s radio on %s (Ctrl-C ends)...\n", radio == 1 ? "a" : "the next",
                         PortText(form).c_str());
            std::fflush(out);
            RadioLook last;
            const WaitEnd end = Wait(form, host, out, RadioWanted::Present, Limit(options), last);
            if (end == WaitEnd::Stopped) {
                break;
            }
            if (end == WaitEnd::TimedOut) {
                std::fprintf(out, "No radio answered within %d s.\n", *options.waitForRadio);
                if (rows.empty()) {
                    status = ExitCode(RunResult::NoAnswer);
                }
                break;
            }
        }
        std::fprintf(out, "== Radio %d ==\n", radio);
        std::fflush(out);
        const int code = RunOneUpdate(form, host, out);
        if (form.m_PasswordAccepted) {
            const HistoryRow& row = form.m_RunRecorder.Row();
            rows.push_back(row);
            std::fprintf(out, "Radio %d: %s, %s (%d), %s: %s\n", radio,
                         row.radioIdentity.empty() ? "identity not read" : row.radioIdentity.c_str(),
                         RunResultName(static_cast<RunResult>(code)).c_str(), code,
                         Seconds(row.durationSeconds).c_str(), row.resultText.c_str());
        }
        if (code != 0) {
            status = code;
        }
        if (!form.m_PasswordAccepted || host.stopRequested || host.endAfterThisRadio) {
            break;
        }
        std::fprintf(out, "Disconnect this radio and connect the next one (Ctrl-C ends).\n");
        std::fflush(out);
        RadioLook last;
        if (Wait(form, host, out, RadioWanted::Gone, std::nullopt, last) != WaitEnd::Found) {
            break;
        }
        std::fprintf(out, "The radio is gone.\n");
    }
    host.EndProgressLine();
    std::fprintf(out, "\n%zu radio%s:\n%s", rows.size(), rows.size() == 1 ? "" : "s",
                 HistoryTable(rows).c_str());
    if (rows.empty() && status == 0) {
        status = ExitCode(RunResult::Stopped);
    }
    return status;
}

} // namespace aurex
