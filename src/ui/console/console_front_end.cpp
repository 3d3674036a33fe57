#include "ui/console/console_front_end.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <QCoreApplication>

#include "app/about_dlg.h"
#include "app/probe_link.h"
#include "app/radio_wait.h"
#include "app/termination_signals.h"
#include "app/timer_driver.h"
#include "link/com_port_map.h"
#include "programming/version_info.h"
#include "ui/console/console_events.h"
#include "ui/console/console_production.h"
#include "ui/console/many_ports.h"
#include "ui/console/radio_password_input.h"

namespace aurex {

namespace {

// The exit status of a run's result: the numbers are what scripts rely on.
int ExitCode(RunResult result)
{
    return static_cast<int>(result);
}

// The last event of every command with --json. Events that could not all be written (a full disk,
// a closed pipe) are said on standard error and fail the command: a script reading them must not
// take their silence for success.
int EndEvents(ConsoleEvents& events, int result, const std::string& status)
{
    events.Result(result, status);
    const int error = StandardOutputError();
    if (error == 0) {
        return result;
    }
    std::fprintf(stderr, "aurex-code-updater: the events could not be written to standard output: %s\n",
                 std::strerror(error));
    return result == 0 ? ExitCode(RunResult::Failed) : result;
}

// A file the command line names for writing, checked before anything is begun: false after
// saying why it is refused.
bool TargetAllowed(const std::string& path, bool force)
{
    const std::string refusal = TargetRefusal(path, force ? ExistingFile::Replace : ExistingFile::Keep);
    if (refusal.empty()) {
        return true;
    }
    // A plain file is what --force would replace; anything else stays refused.
    const bool forceWould = !force && TargetRefusal(path, ExistingFile::Replace).empty();
    std::fprintf(stderr, "%s%s\n", refusal.c_str(), forceWould ? "; --force replaces it." : ".");
    return false;
}

} // namespace

int RunConsoleSession(TCodeUpdaterMainDispForm& form, ConsoleHost& host, const ConsoleOptions& options,
                      std::FILE* out)
{
    if (options.history) {
        UpdateHistory* history = form.m_RunRecorder.History();
        if (history == nullptr) {
            std::fprintf(stderr, "There is no update history to show.\n");
            return 1;
        }
        const std::vector<HistoryRow> rows = history->Rows(options.historyIdentity);
        std::fputs((options.csv ? HistoryCsv(rows) : HistoryTable(rows)).c_str(), out);
        return 0;
    }
    if (options.trace) {
        if (!TargetAllowed(*options.trace, options.force)) {
            return 1;
        }
        form.m_RunRecorder.settings.traceFile = *options.trace;
        form.m_RunRecorder.settings.traceExisting =
            options.force ? ExistingFile::Replace : ExistingFile::Keep;
        form.m_RunRecorder.settings.traceCodeplugData = options.traceCodeplugData;
    }
    if (options.supportBundle && !TargetAllowed(*options.supportBundle, options.force)) {
        return 1;
    }
    std::fprintf(out, "%s\n", form.m_NameLabel.Caption().c_str());
    std::fprintf(out, "Intended target radio: %s, series %s, release %s, upgrade type %s\n",
                 form.m_TargetRadioLabel.Caption().c_str(), form.m_TargetSeriesLabel.Caption().c_str(),
                 form.m_TargetReleaseLabel.Caption().c_str(),
                 form.m_TargetUpgradeTypeLabel.Caption().c_str());

    int comNumber = options.port.value_or(0);
    if (options.device) {
        comNumber = ComNumberForDevice(*options.device);
        if (comNumber == 0) {
            std::fprintf(out, "Every COM number is taken; %s cannot be given one.\n",
                         options.device->c_str());
            return ExitCode(RunResult::PortNotOpened);
        }
    }
    if (comNumber > 0) {
        // Exactly the port asked for: an unavailable one is reported when opening, never swapped.
        form.m_ComportComboBox.SetSelection(comNumber - 1);
    }
    std::fprintf(out, "Port: %s%s\n",
                 form.m_ComportComboBox
                     .Items()[static_cast<std::size_t>(std::max(0, form.m_ComportComboBox.Selection()))]
                     .c_str(),
                 options.device ? (" (" + *options.device + ")").c_str() : "");
    std::fflush(out); // the port is named before a check or a run keeps it busy

    if (options.supportBundle) {
        if (!form.SaveSupportBundle(*options.supportBundle, options.withCodeplugs,
                                    options.force ? ExistingFile::Replace : ExistingFile::Keep)) {
            return 1;
        }
        std::fprintf(out, "Support bundle saved to %s.\n", options.supportBundle->c_str());
        return 0;
    }

    if (options.checkPort) {
        TCodeUpdaterMainDispForm::RunRecordScope record(form, RunKind::Check);
        const std::string device = ComDevicePath(form.SelectedComNumber());
        host.checkingPort = true;
        const ports::Findings findings = form.Environment().checkConnection(device, LineProbes::Run);
        host.HandlePendingSignals();
        host.checkingPort = false;
        std::fputs(record.EndCheck(device, findings, host.stopRequested).c_str(), out);
        return ExitCode(*record.Result());
    }

    if (options.boot) {
        if (!form.m_BootRadioButton.Visible()) {
            std::fprintf(out, "This updater offers no Application/Boot choice; --boot does not apply.\n");
            return 2;
        }
        form.m_BootRadioButton.Click();
    }

    if (options.noVerify) {
        form.m_FileVerifyMenuItem.Click();
    }
    form.m_BootDowngradePolicy = options.allowBootDowngrade
                                     ? TCodeUpdaterMainDispForm::BootDowngradePolicy::Allow
                                     : TCodeUpdaterMainDispForm::BootDowngradePolicy::Refuse;
    if (options.backup) {
        const CodeplugRequestResult result = form.BackUpCodeplug();
        host.EndProgressLine();
        return result == CodeplugRequestResult::BackedUp ? 0 : ExitCode(form.m_LastRunResult);
    }
    if (options.restore) {
        form.m_OtherRadioPolicy = options.otherRadio ? OtherRadioPolicy::Allow : OtherRadioPolicy::Refuse;
        form.m_ConversionLossPolicy =
            options.allowLosses ? OtherRadioPolicy::Allow : OtherRadioPolicy::Refuse;
        const CodeplugRequestResult result = form.RestoreCodeplug(*options.restore);
        host.EndProgressLine();
        if (result == CodeplugRequestResult::OtherRadio) {
            std::fprintf(out, "Give --other-radio to write it all the same.\n");
        } else if (result == CodeplugRequestResult::LosesData) {
            std::fprintf(out, "Give --allow-losses to write it all the same.\n");
        }
        return result == CodeplugRequestResult::Restored || result == CodeplugRequestResult::NotVerified
                   ? 0
                   : ExitCode(form.m_LastRunResult);
    }

    if (options.retrieve) {
        form.m_RetrieveVersionInfoButton.Click();
        host.EndProgressLine();
        if (!form.m_LastRetrieveStatus || !VersionInfoRead(*form.m_LastRetrieveStatus)) {
            return ExitCode(form.m_LastRunResult);
        }
        const Control* rows[][2] = {
            {&form.Label2, &form.FileVersionLabel},
            {&form.DSPVersionHeadingLabel, &form.DSPVersionLabel},
            {&form.HWControllerVersionHeadingLabel, &form.HWControllerVersionLabel},
            {&form.HWRevisionHeadingLabel, &form.HWRevisionLabel},
            {&form.SerialNumberHeadingLabel, &form.SerialNumberLabel},
            {&form.BootLoadHeadingLabel, &form.BootLoadVersionLabel},
            {&form.Label3, &form.SEMVersionLabel},
            {&form.Label8, &form.TessaroVersionLabel},
            {&form.Label9, &form.BrevioVersionLabel},
        };
        std::fprintf(out, "%s\n", form.m_TargetVersionInfoGroupBox.Caption().c_str());
        for (const auto& row : rows) {
            std::fprintf(out, "  %-31s %s\n", row[0]->Caption().c_str(), row[1]->Caption().c_str());
        }
        return 0;
    }

    if (!options.radioPassword && ::isatty(::fileno(stdin)) == 0) {
        std::fputs(kNoRadioPasswordNotice, out);
    }
    if (!::isatty(::fileno(stdin)) || options.yes) {
        // Nobody may be there to press OK once the radio is back in boot-load mode: look for it.
        form.m_RadioReturnWait =
            std::chrono::seconds(options.waitForRadio.value_or(kRadioReturnDefaultSeconds));
    }
    if (options.repeat) {
        return RunRepeatedUpdates(form, host, options, out);
    }
    if (options.waitForRadio) {
        if (const int status = WaitForFirstRadio(form, host, options, out); status != 0) {
            return status;
        }
    }
    return RunOneUpdate(form, host, out);
}

const char* TerminationNotice(TCodeUpdaterMainDispForm::Termination termination, bool again)
{
    if (termination == TCodeUpdaterMainDispForm::Termination::FinishingCodeplugStep) {
        return again ? "Still finishing the codeplug step; the program ends when it is done.\n"
                     : "Stopping after the codeplug step: the new code is in the radio, and stopping now "
                       "would leave it a codeplug it cannot read.\n";
    }
    return again ? "Still stopping: waiting for the step under way to end...\n" : "Stopping...\n";
}

int RunConsole(int argc, char** argv, MainFormEnvironment environment)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    ConsoleOptions options;
    std::string error;
    if (!ParseConsoleOptions(args, options, error)) {
        std::fprintf(stderr, "aurex-code-updater: %s\n%s", error.c_str(), ConsoleUsage().c_str());
        if (std::find(args.begin(), args.end(), "--json") != args.end()) {
            ConsoleEvents events(StandardOutputLines());
            return EndEvents(events, ExitCode(RunResult::Usage), "");
        }
        return ExitCode(RunResult::Usage);
    }
    // With --json standard output carries the events alone.
    std::FILE* human = options.json ? stderr : stdout;
    ConsoleEvents events(StandardOutputLines());
    if (options.help) {
        std::fputs(ConsoleUsage().c_str(), human);
        return options.json ? EndEvents(events, 0, "") : 0;
    }
    if (options.radioPasswordInput) {
        options.radioPassword = ReadRadioPasswordLine(::fileno(stdin));
        if (!options.radioPassword) {
            std::fputs("aurex-code-updater: the first line of standard input is not a radio password: "
                       "1 to 8 digits 0-9, or empty for none\n",
                       stderr);
            if (options.json) {
                ConsoleEvents(StandardOutputLines()).Result(ExitCode(RunResult::Usage), "");
            }
            return ExitCode(RunResult::Usage);
        }
    }
    if (options.restore && !options.yes && ::isatty(::fileno(stdin)) == 0) {
        // A restore writes over the radio's codeplug: it asks first, and a script answers with --yes.
        std::fputs("aurex-code-updater: --restore asks before it writes into the radio; without a terminal "
                   "to answer at, give --yes. Nothing was sent to the radio.\n",
                   stderr);
        return options.json ? EndEvents(events, ExitCode(RunResult::Usage), "") : ExitCode(RunResult::Usage);
    }
    QCoreApplication app(argc, argv);
    if (options.ports.size() > 1) {
        return RunManyPorts(argv[0], args, options);
    }
    // The per-user data folder (codeplug backups) follows the application name, not the
    // release-specific executable name.
    QCoreApplication::setApplicationName("Aurex Code Updater");
    if (environment.dataFolder.empty()) {
        environment.dataFolder = UserDataFolder();
    }
    ConsoleHost host(options, stdin, human);
    TCodeUpdaterMainDispForm form(host, std::move(environment));
    if (options.version) {
        const std::string program = "Aurex Code Updater " + ProgramBuild();
        std::fprintf(human, "%s\nImage set: %s; radio %s, series %s, release %s, upgrade type %s\n",
                     program.c_str(), ProgramBaseName(form.Environment().programPath).c_str(),
                     form.m_TargetRadioLabel.Caption().c_str(), form.m_TargetSeriesLabel.Caption().c_str(),
                     form.m_TargetReleaseLabel.Caption().c_str(),
                     form.m_TargetUpgradeTypeLabel.Caption().c_str());
        return options.json ? EndEvents(events, 0, program) : 0;
    }
    form.AddListener(&host);
    if (options.json) {
        form.m_RunEvents.Add(&events);
    }
    TimerDriver timers(form);

    // Ctrl-C, SIGTERM and SIGHUP press Stop during a run; a codeplug being written back, and the
    // codeplug step once the new code is in the radio, are finished first, however often they come.
    TerminationSignals stopSignals([&form, &host, &events, &options, human](int signal) {
        if (host.waitingForRadio || host.checkingPort) {
            host.stopRequested = true; // the wait ends at its next look
            if (host.checkingPort) {
                ProbeLink::StopAll(); // the port is closed, its settings put back, before the end
            }
            std::fputs("\nStopping...\n", human);
            std::fflush(human);
            return;
        }
        if (options.repeat && form.m_UpdateInProgress && !host.endAfterThisRadio) {
            host.endAfterThisRadio = true;
            host.EndProgressLine();
            std::fputs("\nEnding after this radio (Ctrl-C again stops it now).\n", human);
            std::fflush(human);
            return;
        }
        const TCodeUpdaterMainDispForm::Termination termination = form.RequestTermination();
        if (termination == TCodeUpdaterMainDispForm::Termination::EndNow) {
            if (options.json) {
                events.Result(128 + signal, form.m_StatusLabel.Caption());
            }
            TerminationSignals::EndWith(signal);
        }
        // Ending the program now could leave the radio half written: the handler returns first.
        host.EndProgressLine();
        std::fputc('\n', human);
        std::fputs(TerminationNotice(termination, host.stopRequested), human);
        std::fflush(human);
        host.stopRequested = true;
    });
    host.WatchSignals(stopSignals.PendingFd(), [&stopSignals] { stopSignals.HandlePending(); });

    int result = RunConsoleSession(form, host, options, human);
    if (options.json) {
        form.m_RunEvents.Remove(&events);
        result = EndEvents(events, result, form.m_StatusLabel.Caption());
    }
    form.RemoveListener(&host);
    return result;
}

} // namespace aurex
