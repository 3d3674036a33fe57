// Port selection: the port list, which ports can be opened, opening the radio link on the
// chosen port in the way the radio family needs, and closing it again.

#include <optional>
#include <string>

#include "app/app_timeouts.h"
#include "app/code_updater_main_form.h"
#include "app/line_check.h"
#include "app/port_probe.h"
#include "app/radio_wait.h"
#include "link/com_port_map.h"
#include "link/radio_link.h"
#include "ports/finding_report.h"

namespace aurex {

namespace {

constexpr std::string_view kPortCaption = "COM Port";
constexpr std::string_view kCheckCaption = "Check connection";
constexpr std::int32_t kInterruptedRunBaud = 115200;

constexpr std::string_view kNeedsInterfaceBox =
    "Aurex Code Updater will not work with the current configuration.\n\n"
    "Either connect to the radio using LinkBox 900-8600-001 (which can\n"
    "be purchased from Corvane), or use a computer that does not\n"
    "have a multi-core processor or hyperthreading enabled.";

UiText ComText(int comNumber)
{
    return UiText::Verbatim(std::to_string(comNumber));
}

std::string CauseAndFix(const ports::Finding& cause)
{
    return cause.fix.empty() ? cause.text : cause.text + "\n\nTo mend it:\n    " + cause.fix;
}

} // namespace

void TCodeUpdaterMainDispForm::ProbeComPorts()
{
    // One look at the processes' open files serves the whole list.
    std::optional<ports::PortCensus> census;
    if (!environment_.probePort) {
        census.emplace(ports::HostFiles(), ports::HostIdentity::OfThisProcess());
    }
    for (int n = 1; n <= kPortCount; ++n) {
        const PortOpenResult found = census ? ExamineComPort(*census, n) : environment_.probePort(n);
        const int state = found == PortOpenResult::Opened ? kPortAvailable : kPortAbsent;
        m_PortProbe[static_cast<std::size_t>(n)] = found;
        m_PortAvailability[static_cast<std::size_t>(n - 1)] = state;
        m_PortTable[static_cast<std::size_t>(n)] = state;
    }
    // The list draws from the availability; let renderings repaint it.
    m_ComportComboBox.Repaint();
}

int TCodeUpdaterMainDispForm::SelectedComNumber() const
{
    const int index = m_ComportComboBox.Selection();
    return index < 0 ? 0 : index + 1;
}

PortItemLook TCodeUpdaterMainDispForm::m_ComportComboBoxDrawItem(int index, bool selected) const
{
    const int availability =
        index >= 0 && index < kPortCount ? m_PortAvailability[static_cast<std::size_t>(index)] : kPortAbsent;
    return PortItemLookFor(availability, m_ComportComboBox.Enabled(), selected);
}

std::string TCodeUpdaterMainDispForm::m_ComportComboBoxHint(int index) const
{
    const int n = index + 1;
    if (n < 1 || n > kPortCount) {
        return {};
    }
    const std::string device = PortHint(n);
    if (m_PortProbe[static_cast<std::size_t>(n)] != PortOpenResult::PermissionDenied) {
        return device;
    }
    return device + "\n" + PermissionHint(n);
}

bool TCodeUpdaterMainDispForm::ChosenPortPermitted()
{
    ProbeComPorts();
    const int n = SelectedComNumber();
    if (n < 1 || m_PortProbe[static_cast<std::size_t>(n)] != PortOpenResult::PermissionDenied) {
        return true; // anything else is found, and said, when the run opens the port
    }
    {
        RunRecordScope record(*this, RunKind::Update);
        NoteOutcome(RunResult::PortNotOpened);
        ShowPermissionRefused(n);
    }
    // Choosing another port is not the advice here: the message has said what mends this one.
    m_DisconnectLabel.SetCaption("You may not open this port yet: mend it as the\nmessage said, "
                                 "then press Start again.");
    return false;
}

void TCodeUpdaterMainDispForm::m_ComportComboBoxChange()
{
    m_ComportComboBox.SetSelection(
        PortSelectionAfterChange(m_PortAvailability, m_ComportComboBox.Selection()));
}

bool TCodeUpdaterMainDispForm::IsMultiProcessorHost() const
{
    return environment_.processorCount() > 1;
}

bool TCodeUpdaterMainDispForm::OpenRadioLink(bool keepBaud)
{
    ProbeComPorts();
    const int n = SelectedComNumber();
    if (n < 1 || m_PortTable[static_cast<std::size_t>(n)] != kPortAvailable) {
        NoteOutcome(RunResult::PortNotOpened);
        if (n >= 1 && m_PortProbe[static_cast<std::size_t>(n)] == PortOpenResult::PermissionDenied) {
            ShowPermissionRefused(n);
        } else {
            ShowError({"Selected COM port is in use or not available.%1",
                       {n >= 1 ? LikelyCause(n, LineProbes::Skip) : std::string()}},
                      kPortCaption);
            ShowStatus("The selected COM port is in use or not available.");
        }
        return false;
    }
    m_PortTable[static_cast<std::size_t>(n)] = kPortInUseHere;
    if (ResourceAttributes.radio_model == 0) {
        return OpenDirectLink(n, keepBaud);
    }
    const bool running = m_UpdateInProgress;
    int box = OpenInterfaceLink(n);
    const auto stopped = [&] { return box == 2 && running && !m_UpdateInProgress; };
    if (!stopped() && box == 2 && IsMultiProcessorHost() && FetchRadioLeftAt115200()) {
        CreateLinkTimeout(RadioLink, app_timeouts::kInterfaceProbeReplyMs);
        box = ProbeInterfaceBox(RadioLink) ? 1 : 2;
    }
    if (stopped()) {
        // Stop ended the probe's wait: whether a box is there is unknown, so neither blame the
        // configuration nor go on without one.
        ShowStatus("Idle");
        return false;
    }
    switch (box) {
    case 1:
        SetLinkFraming(RadioLink, kFramingFramed);
        SetLinkActive(RadioLink, true);
        if (!keepBaud) {
            ChangeBaudRate(RadioLink, 115200);
        }
        return true;
    case 2:
        if (IsMultiProcessorHost()) {
            // The check probes the line itself, so the link lets go of the device first.
            CloseLink(RadioLink);
            NoteOutcome(RunResult::NoAnswer);
            ExplainMissingInterfaceBox(n);
            return false;
        }
        CloseLink(RadioLink);
        return OpenHalfDuplexLink(n, keepBaud);
    default:
        return false;
    }
}

void TCodeUpdaterMainDispForm::OpenFailed(int comNumber, const std::string& message)
{
    m_PortTable[static_cast<std::size_t>(comNumber)] = kPortAvailable;
    CloseLink(RadioLink);
    NoteOutcome(RunResult::PortNotOpened);
    ShowError({"%1%2", {message, LikelyCause(comNumber, LineProbes::Skip)}}, kPortCaption);
    ShowStatusText({"COM %1 could not be opened.", {ComText(comNumber)}});
}

void TCodeUpdaterMainDispForm::ExplainMissingInterfaceBox(int comNumber)
{
    const ports::Findings findings = environment_.checkConnection(ComDevicePath(comNumber), LineProbes::Run);
    const ports::Finding* cause = ports::LikeliestCause(findings);
    // The configuration text is the answer only where the line shows a cable without the box;
    // a silent line (radio off, cable out) is said as what it is.
    if (cause == nullptr || cause->text == kTwoWireCableText) {
        ShowError({"%1%2", {std::string(kNeedsInterfaceBox), cause ? "\n\n" + cause->text : std::string()}},
                  kPortCaption);
        ShowStatusText({"No interface box answered on COM %1.", {ComText(comNumber)}});
        return;
    }
    ShowError({"%1%2",
               {CauseAndFix(*cause),
                ShowsCableWithoutBox(findings) ? "\n\n" + std::string(kNeedsInterfaceBox) : std::string()}},
              kPortCaption);
    ShowStatus(cause->text);
}

std::string TCodeUpdaterMainDispForm::LikelyCause(int comNumber, LineProbes line)
{
    const std::string sentence =
        LikeliestCauseSentence(environment_.checkConnection(ComDevicePath(comNumber), line));
    return sentence.empty() ? std::string() : "\n\n" + sentence;
}

void TCodeUpdaterMainDispForm::m_HelpCheckConnectionMenuItemClick()
{
    if (m_ClickHandlerRunning) {
        ShowInformation("The connection can be checked once the run under way has ended.", kCheckCaption);
        return;
    }
    const int n = SelectedComNumber();
    if (n < 1) {
        ShowInformation("Choose a COM port first.", kCheckCaption);
        return;
    }
    // Holds Start and Retrieve back while the check has the port.
    const ClickHandlerScope scope(*this);
    m_StartButton.SetEnabled(false);
    m_ComportComboBox.SetEnabled(false);
    m_RetrieveVersionInfoButton.SetEnabled(false);
    RunRecordScope record(*this, RunKind::Check);
    const std::string device = ComDevicePath(n);
    const ports::Findings findings = environment_.checkConnection(device, LineProbes::Run);
    const std::string report = record.EndCheck(device, findings, false);
    ProbeComPorts();
    ShowInformation({"COM %1: %2", {UiText::Verbatim(std::to_string(n)), report}}, kCheckCaption);
}

bool TCodeUpdaterMainDispForm::OpenDirectLink(int comNumber, bool keepBaud)
{
    std::string message;
    if (OpenDeviceLink(RadioLink, comNumber, 19200, false, message) != PortOpenResult::Opened) {
        OpenFailed(comNumber, message);
        return false;
    }
    SetLinkFraming(RadioLink, kFramingFramed);
    SetLinkActive(RadioLink, true);
    if (!keepBaud) {
        ChangeBaudRate(RadioLink, 115200);
    }
    return true;
}

int TCodeUpdaterMainDispForm::OpenInterfaceLink(int comNumber)
{
    std::string message;
    if (OpenDeviceLink(RadioLink, comNumber, 19200, false, message) != PortOpenResult::Opened) {
        OpenFailed(comNumber, message);
        return 0;
    }
    SetLinkFraming(RadioLink, kFramingFramed);
    SetLinkActive(RadioLink, true);
    CreateLinkTimeout(RadioLink, app_timeouts::kInterfaceProbeReplyMs);
    return ProbeInterfaceBox(RadioLink) ? 1 : 2;
}

bool TCodeUpdaterMainDispForm::FetchRadioLeftAt115200()
{
    // Only this end changes speed to ask: a radio at 19200 must not be told to leave it.
    ReleaseLinkTimeout(RadioLink);
    SetLinkBaud(RadioLink, kInterruptedRunBaud);
    if (LookOnLink(RadioLink).presence != RadioPresence::Answered) {
        SetLinkBaud(RadioLink, 19200);
        SetLinkActive(RadioLink, true);
        return false;
    }
    ChangeBaudRate(RadioLink, 19200);
    ShowStatus("The radio answered at 115200 baud, where an interrupted run left it: set back to 19200.");
    return true;
}

bool TCodeUpdaterMainDispForm::OpenHalfDuplexLink(int comNumber, bool keepBaud)
{
    ComPort.SetComNumber(static_cast<std::uint16_t>(comNumber));
    ComPort.SetRS485Mode(true);
    std::string message;
    if (OpenComPortLink(RadioLink, ComPort, message) != PortOpenResult::Opened) {
        OpenFailed(comNumber, message);
        return false;
    }
    SetLinkActive(RadioLink, true);
    SetLinkFraming(RadioLink, kFramingFramed);
    SetLinkBaud(RadioLink, 19200);
    if (RadioTypeCode == 1) {
        ChangeBaudRate(RadioLink, 19200);
    } else if (!keepBaud) {
        ChangeBaudRate(RadioLink, 115200);
    }
    return true;
}

void TCodeUpdaterMainDispForm::CloseRadioLink()
{
    CloseLink(RadioLink);
    const int n = SelectedComNumber();
    if (n >= 1) {
        m_PortTable[static_cast<std::size_t>(n)] = kPortAvailable;
    }
}

void TCodeUpdaterMainDispForm::ShowPermissionRefused(int comNumber)
{
    ShowError(PermissionMessage(comNumber), kPortCaption);
    ShowStatusText({"COM %1 could not be opened: permission denied.", {ComText(comNumber)}});
}

std::string TCodeUpdaterMainDispForm::PermissionMessage(int comNumber) const
{
    const std::string device = ComDevicePath(comNumber);
    const std::string head =
        "You may not open " + device + " (COM " + std::to_string(comNumber) + "): permission denied.";
    // The check knows which group, whether this login has it yet, and that nobody joins root.
    const ports::Findings findings = environment_.checkConnection(device, LineProbes::Skip);
    if (const ports::Finding* cause = ports::LikeliestCause(findings);
        cause != nullptr && !cause->fix.empty()) {
        return head + "\n\n" + CauseAndFix(*cause);
    }
    const std::string group = DeviceGroup(device);
    if (group == "root") {
        return head + "\n\nThe device belongs to group root, which no user should join to reach it: let a "
                      "udev rule give it to the group dialout (Help -> Check connection... gives the "
                      "command).";
    }
    return head + "\n\nYour user must be in the group that owns the device (" +
           (group.empty() ? std::string("usually \"dialout\"") : "\"" + group + "\"") +
           "), for example:\n    sudo usermod -aG " + (group.empty() ? std::string("dialout") : group) +
           " $USER\nthen log out and in again.";
}

void TCodeUpdaterMainDispForm::AttachLinkTimer()
{
    RadioLink.commTimer = &m_CommTimerLink;
    QObject::connect(&ComPort, &aurex::ComPort::OnTriggerTimer, [this] { ComPortTriggerTimer(); });
}

void TCodeUpdaterMainDispForm::StopLinkWaits()
{
    SetLinkActive(RadioLink, false);
}

void TCodeUpdaterMainDispForm::EndLinkWaitOnCommTimeOut()
{
    OnLinkCommTimer(RadioLink);
}

void TCodeUpdaterMainDispForm::EndLinkWaitOnTriggerTimeOut()
{
    // Only a quiet line times out; the link looks at that itself.
    OnLinkTriggerTimer(RadioLink);
}

} // namespace aurex
