#include "ui/console/console_front_end.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QCoreApplication>

#include "app/code_down_pass_dlg.h"
#include "app/termination_signals.h"
#include "app/timer_driver.h"
#include "link/com_port_map.h"
#include "programming/version_info.h"

namespace aurex {

namespace {

const char* IconWord(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error:
        return "Error";
    case MessageIcon::Information:
        return "Information";
    case MessageIcon::Question:
        return "Question";
    }
    return "";
}

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

// The exit status of a run's result: the numbers are what scripts rely on.
int ExitCode(RunResult result)
{
    return static_cast<int>(result);
}

} // namespace

bool ParseConsoleOptions(const std::vector<std::string>& args, ConsoleOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
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
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = "--restore takes the backup file to put back into the radio";
                return false;
            }
            options.restore = text;
        } else if (a == "--radio-password") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            options.radioPassword = text;
        } else if (a == "--trace") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = "--trace takes the file to write the line trace to";
                return false;
            }
            options.trace = text;
        } else if (a == "--history") {
            options.history = true;
            // A radio identity may follow.
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                options.historyIdentity = args[++i];
            }
        } else if (a == "--csv") {
            options.csv = true;
        } else if (a == "--support-bundle") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = "--support-bundle takes the .tar.gz file to write";
                return false;
            }
            options.supportBundle = text;
        } else if (a == "--with-codeplugs") {
            options.withCodeplugs = true;
        } else if (a == "--other-radio") {
            options.otherRadio = true;
        } else if (a == "--no-verify") {
            options.noVerify = true;
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--password") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            options.password = text;
        } else if (a == "--port") {
            std::string text;
            if (!value(text) || !ParseComNumber(text, options, error)) {
                return false;
            }
        } else if (a == "--device") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (text.empty()) {
                error = "--device takes a device path, such as /dev/ttyUSB0 or a /dev/serial/by-id name";
                return false;
            }
            options.device = text;
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
    if (options.otherRadio && !options.restore) {
        error = "--other-radio goes with --restore only";
        return false;
    }
    return true;
}

std::string ConsoleUsage()
{
    return "usage: aurex-code-updater --console [--port N | --device PATH] [--boot] [--password TEXT]\n"
           "                                    [--radio-password DIGITS] [--retrieve] [--no-verify]\n"
           "                                    [--trace FILE] [--yes]\n"
           "       aurex-code-updater --console [--port N | --device PATH] --backup\n"
           "       aurex-code-updater --console [--port N | --device PATH] --restore FILE [--other-radio]\n"
           "                                    [--no-verify]\n"
           "       aurex-code-updater --console --check-port [N | PATH]\n"
           "       aurex-code-updater --console --history [IDENTITY] [--csv]\n"
           "       aurex-code-updater --console [--port N | --device PATH] --support-bundle FILE\n"
           "                                    [--with-codeplugs]\n"
           "  --port N         use COM N (1-64; on Linux COM 1-16 are /dev/ttyS0-15, COM 17-40\n"
           "                   /dev/ttyUSB0-23, COM 41-64 /dev/ttyACM0-23); default COM 1\n"
           "  --device PATH    use the serial device at PATH, e.g. a /dev/serial/by-id/ name\n"
           "  --check-port     check the connection on the port (COM N or PATH here, else --port or\n"
           "                   --device): device, permission, programs holding it, adapter, line and\n"
           "                   radio; exit status 0 when nothing is in the way, else 1\n"
           "  --boot           load the boot code where this updater offers the choice\n"
           "  --password TEXT  the update password (else asked for at the terminal)\n"
           "  --radio-password DIGITS  the radio's own codeplug password, for a radio that asks for\n"
           "                   one (else asked for at the terminal)\n"
           "  --retrieve       read the radio's version information instead of updating\n"
           "  --backup         save the codeplug of a radio started normally in the backups folder;\n"
           "                   nothing is written to the radio\n"
           "  --restore FILE   put a backup back into a radio started normally: what the radio holds\n"
           "                   is backed up first, the backup converted to the radio's format,\n"
           "                   written and read back\n"
           "  --other-radio    restore a backup made from another radio (refused without it)\n"
           "  --no-verify      do not read a written codeplug back to compare it\n"
           "  --trace FILE     write every frame on the line, both ways, to FILE (the password's\n"
           "                   digits are masked)\n"
           "  --history        print the update history (only IDENTITY's runs when given); --csv\n"
           "                   prints it as CSV\n"
           "  --support-bundle FILE  write a .tar.gz of the newest run logs and traces, the\n"
           "                   connection check of the port (no line probes), the program's name and\n"
           "                   release and the history's last 20 rows; --with-codeplugs adds the\n"
           "                   newest codeplug backups\n"
           "  --yes            answer OK or Yes to every message\n"
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
           "  --check-port exits 0 when nothing is in the way, else 1.\n"
           "Every run leaves a log in the data folder's logs/ (the newest 100 are kept) and a row in\n"
           "the update history there ($XDG_DATA_HOME/Aurex Code Updater, else\n"
           "~/.local/share/Aurex Code Updater).\n"
           "Ctrl-C, SIGTERM and SIGHUP during a run press Stop; once the new code is in the radio,\n"
           "the codeplug step is finished first (as is a codeplug being written back by --restore).\n";
}

std::string ProgressBarText(int position, int min, int max, int width)
{
    const int span = max > min ? max - min : 1;
    const int clamped = std::clamp(position, min, max);
    const int filled = static_cast<int>(static_cast<long long>(clamped - min) * width / span);
    const int percent = static_cast<int>(static_cast<long long>(clamped - min) * 100 / span);
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(width - filled), '.') + "] ";
    const std::string pct = std::to_string(percent);
    return bar + std::string(3 - std::min<std::size_t>(3, pct.size()), ' ') + pct + "%";
}

ConsoleHost::ConsoleHost(const ConsoleOptions& options, std::FILE* in, std::FILE* out)
    : options_(options), in_(in), out_(out), interactive_(::isatty(::fileno(out)) != 0)
{
}

void ConsoleHost::EndProgressLine()
{
    if (progressLineOpen_) {
        std::fputc('\n', out_);
        progressLineOpen_ = false;
    }
}

void ConsoleHost::WatchSignals(int pendingFd, std::function<void()> handle)
{
    signalFd_ = pendingFd;
    handleSignals_ = std::move(handle);
    // Unbuffered, so that what poll() says of the descriptor is all there is to read.
    std::setvbuf(in_, nullptr, _IONBF, 0);
}

// Waits until a line can be read or a signal has come; false for the signal, which is then
// handled (a prompt must not hold a Stop, or the end of the program, until Enter is pressed).
bool ConsoleHost::WaitForInput()
{
    if (signalFd_ < 0) {
        return true;
    }
    for (;;) {
        pollfd fds[2] = {{::fileno(in_), POLLIN, 0}, {signalFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue; // interrupted by the signal itself: its byte is there now
            }
            return true; // the read then tells what is wrong, rather than a loop that never ends
        }
        if ((fds[1].revents & POLLIN) != 0) {
            interrupted_ = true;
            if (handleSignals_) {
                handleSignals_();
            }
            return false;
        }
        if (fds[0].revents != 0) {
            return true;
        }
    }
}

std::string ConsoleHost::ReadLine(bool hidden)
{
    const int fd = ::fileno(in_);
    termios saved{};
    const bool restore = hidden && ::isatty(fd) != 0 && ::tcgetattr(fd, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    interrupted_ = false;
    for (;;) {
        if (!WaitForInput()) {
            line.clear();
            break;
        }
        const int c = std::fgetc(in_);
        if (c == EOF || c == '\n') {
            break;
        }
        if (line.size() < 4096) { // a prompt answer never needs more
            line.push_back(static_cast<char>(c));
        }
    }
    if (restore) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputc('\n', out_);
    }
    return line;
}

MessageAnswer ConsoleHost::ShowMessage(const FormModel&, std::string_view text, std::string_view caption,
                                       MessageIcon icon, MessageButtons buttons)
{
    EndProgressLine();
    std::fprintf(out_, "\n== %.*s (%s) ==\n%.*s\n", static_cast<int>(caption.size()), caption.data(),
                 IconWord(icon), static_cast<int>(text.size()), text.data());
    if (buttons == MessageButtons::Ok) {
        if (!options_.yes && ::isatty(::fileno(in_)) != 0) {
            std::fputs("[Press Enter for OK] ", out_);
            std::fflush(out_);
            ReadLine(false);
            if (interrupted_) {
                std::fputc('\n', out_);
            }
        }
        std::fflush(out_);
        return MessageAnswer::Ok;
    }
    if (options_.yes) {
        std::fputs("[Yes/No] Yes (--yes)\n", out_);
        std::fflush(out_);
        return MessageAnswer::Yes;
    }
    for (;;) {
        std::fputs("[Yes/No] ", out_);
        std::fflush(out_);
        if (std::feof(in_)) {
            std::fputs("No (no input)\n", out_);
            return MessageAnswer::No;
        }
        const std::string answer = ReadLine(false);
        if (interrupted_) {
            std::fputs("No (stopped)\n", out_);
            return MessageAnswer::No;
        }
        if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") {
            return MessageAnswer::Yes;
        }
        if (answer == "n" || answer == "N" || answer == "no" || answer == "No" || std::feof(in_)) {
            return MessageAnswer::No;
        }
    }
}

void ConsoleHost::ShowModal(const FormModel&, FormModel& dialog)
{
    EndProgressLine();
    dialog.SetModalResult(ModalResult::None);
    dialog.FormActivate();
    if (auto* pass = dynamic_cast<TCodeDownPassDispDlg*>(&dialog)) {
        // The update password opens the program; the radio's own password is another secret.
        const std::optional<std::string>& given =
            pass->asksRadioPassword ? options_.radioPassword : options_.password;
        std::string typed;
        if (given) {
            typed = *given;
        } else {
            std::fprintf(out_, "%s\n%s ", pass->Caption().c_str(),
                         pass->asksRadioPassword ? "The radio asks for its codeplug password:"
                                                 : pass->Label1.Caption().c_str());
            std::fflush(out_);
            typed = ReadLine(true);
            if (pass->asksRadioPassword && typed.empty() && (interrupted_ || std::feof(in_))) {
                // Nobody there to type it: cancel rather than send an empty password.
                std::fputs("(no answer: give --radio-password)\n", out_);
                pass->BitBtn2.Click();
                return;
            }
        }
        pass->m_PasswordEdit.UserEdit(typed);
        pass->BitBtn1.Click();
        return;
    }
    std::fprintf(out_, "== %s ==\n", dialog.Caption().c_str());
    for (const Control* c : dialog.Controls()) {
        if (c->Kind() == ControlKind::Label) {
            std::fprintf(out_, "%s\n", c->Caption().c_str());
        }
    }
    dialog.SetModalResult(ModalResult::Ok);
}

void ConsoleHost::RequestClose(FormModel&) {}

void ConsoleHost::ControlChanged(const FormModel&, const Control* control, ControlProperty what)
{
    if (control == nullptr) {
        return;
    }
    if (control->Name() == "m_StatusLabel" && what == ControlProperty::Caption) {
        EndProgressLine();
        std::fprintf(out_, "Status: %s\n", control->Caption().c_str());
        std::fflush(out_);
        return;
    }
    if (control->Name() == "m_ProgressBar" && what == ControlProperty::Position) {
        const int span = control->Max() > control->Min() ? control->Max() - control->Min() : 1;
        const int percent = (control->Position() - control->Min()) * 100 / span;
        if (interactive_) {
            std::fprintf(out_, "\r%s",
                         ProgressBarText(control->Position(), control->Min(), control->Max()).c_str());
            progressLineOpen_ = true;
        } else if (percent / 10 != lastPrintedPercent_ / 10 ||
                   (percent == 100 && lastPrintedPercent_ != 100)) {
            // Not a terminal: one line per tenth, so logs stay short.
            std::fprintf(out_, "%s\n",
                         ProgressBarText(control->Position(), control->Min(), control->Max()).c_str());
        }
        lastPrintedPercent_ = percent;
        std::fflush(out_);
    }
}

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
        form.m_RunRecorder.settings.traceFile = *options.trace;
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

    if (options.supportBundle) {
        if (!form.SaveSupportBundle(*options.supportBundle, options.withCodeplugs)) {
            return 1;
        }
        std::fprintf(out, "Support bundle saved to %s.\n", options.supportBundle->c_str());
        return 0;
    }

    if (options.checkPort) {
        TCodeUpdaterMainDispForm::RunRecordScope record(form, RunKind::Check);
        const std::string device = ComDevicePath(form.SelectedComNumber());
        const ports::Findings findings = form.Environment().checkConnection(device, LineProbes::Run);
        const std::string report = ConnectionReport(device, findings);
        form.m_RunRecorder.Note("Connection check:\n" + report);
        std::fputs(report.c_str(), out);
        const bool problem = std::any_of(findings.begin(), findings.end(), [](const ports::Finding& f) {
            return f.kind == ports::Finding::Kind::Problem;
        });
        record.SetResult(problem ? RunResult::Failed : RunResult::Succeeded);
        return problem ? 1 : 0;
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
    if (options.backup) {
        const CodeplugRequestResult result = form.BackUpCodeplug();
        host.EndProgressLine();
        return result == CodeplugRequestResult::BackedUp ? 0 : ExitCode(form.m_LastRunResult);
    }
    if (options.restore) {
        form.m_OtherRadioPolicy = options.otherRadio ? OtherRadioPolicy::Allow : OtherRadioPolicy::Refuse;
        const CodeplugRequestResult result = form.RestoreCodeplug(*options.restore);
        host.EndProgressLine();
        if (result == CodeplugRequestResult::OtherRadio) {
            std::fprintf(out, "Give --other-radio to write it all the same.\n");
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

    form.m_StartButton.Click();
    host.EndProgressLine();
    if (!form.m_PasswordAccepted && host.stopRequested) {
        std::fprintf(out, "Stopped before the update began.\n");
        return ExitCode(RunResult::Stopped);
    }
    if (!form.m_PasswordAccepted) {
        std::fprintf(out, "The password was not accepted.\n");
        return ExitCode(RunResult::PasswordRefused);
    }
    return ExitCode(form.m_LastRunResult);
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
        return 2;
    }
    if (options.help) {
        std::fputs(ConsoleUsage().c_str(), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    // The per-user data folder (codeplug backups) follows the application name, not the
    // release-specific executable name.
    QCoreApplication::setApplicationName("Aurex Code Updater");
    if (environment.dataFolder.empty()) {
        environment.dataFolder = UserDataFolder();
    }
    ConsoleHost host(options, stdin, stdout);
    TCodeUpdaterMainDispForm form(host, std::move(environment));
    form.AddListener(&host);
    TimerDriver timers(form);

    // Ctrl-C, SIGTERM and SIGHUP press Stop during a run; a codeplug being written back, and the
    // codeplug step once the new code is in the radio, are finished first, however often they come.
    TerminationSignals stopSignals([&form, &host](int signal) {
        const TCodeUpdaterMainDispForm::Termination termination = form.RequestTermination();
        if (termination == TCodeUpdaterMainDispForm::Termination::EndNow) {
            TerminationSignals::EndWith(signal);
        }
        // Ending the program now could leave the radio half written: the handler returns first.
        host.EndProgressLine();
        std::fputc('\n', stdout);
        std::fputs(TerminationNotice(termination, host.stopRequested), stdout);
        std::fflush(stdout);
        host.stopRequested = true;
    });
    host.WatchSignals(stopSignals.PendingFd(), [&stopSignals] { stopSignals.HandlePending(); });

    const int result = RunConsoleSession(form, host, options, stdout);
    form.RemoveListener(&host);
    return result;
}

} // namespace aurex
