// Port selection: the port list, which ports can be opened, opening the radio link on the
// chosen port in the way the radio family needs, and closing it again.

#include <string>

#include "app/code_updater_main_form.h"
#include "app/port_probe.h"

namespace aurex {

namespace {

constexpr std::string_view kPortCaption = "COM Port";

}  // namespace

void TCodeUpdaterMainDispForm::ProbeComPorts() {
    for (int n = 1; n <= kPortCount; ++n) {
        const PortProbeResult found = environment_.probePort(n);
        const int state = found == PortProbeResult::Available ? kPortAvailable : kPortAbsent;
        m_PortProbe[static_cast<std::size_t>(n)] = found;
        m_PortAvailability[static_cast<std::size_t>(n - 1)] = state;
        m_PortTable[static_cast<std::size_t>(n)] = state;
    }
    // The list draws from the availability; let renderings repaint it.
    m_ComportComboBox.Repaint();
}

int TCodeUpdaterMainDispForm::SelectedComNumber() const {
    const int index = m_ComportComboBox.Selection();
    return index < 0 ? 0 : index + 1;
}

PortItemLook TCodeUpdaterMainDispForm::m_ComportComboBoxDrawItem(int index, bool selected) const {
    const int availability =
        index >= 0 && index < kPortCount ? m_PortAvailability[static_cast<std::size_t>(index)] : kPortAbsent;
    return PortItemLookFor(availability, m_ComportComboBox.Enabled(), selected);
}

void TCodeUpdaterMainDispForm::m_ComportComboBoxChange() {
    m_ComportComboBox.SetSelection(PortSelectionAfterChange(m_PortAvailability, m_ComportComboBox.Selection()));
}

bool TCodeUpdaterMainDispForm::IsMultiProcessorHost() const {
    return environment_.processorCount() > 1;
}

bool TCodeUpdaterMainDispForm::OpenRadioLink(bool keepBaud) {
    ProbeComPorts();
    const int n = SelectedComNumber();
    if (n < 1 || m_PortTable[static_cast<std::size_t>(n)] != kPortAvailable) {
        if (n >= 1 && m_PortProbe[static_cast<std::size_t>(n)] == PortProbeResult::PermissionDenied) {
            ShowError("You may not use " + ComPortDevice(n) + " (COM " + std::to_string(n) +
                          "): permission denied.\n\nAdd your user to the group that owns the device "
                          "(usually \"dialout\"),\nfor example with: sudo usermod -aG dialout $USER\n"
                          "then log out and in again.",
                      kPortCaption);
        } else {
            ShowError("Selected COM port is in use or not available.", kPortCaption);
        }
        return false;
    }
    m_PortTable[static_cast<std::size_t>(n)] = kPortInUseHere;
    return OpenLinkOn(n, keepBaud);
}

void TCodeUpdaterMainDispForm::CloseRadioLink() {
    const int n = SelectedComNumber();
    if (n >= 1) {
        m_PortTable[static_cast<std::size_t>(n)] = kPortAvailable;
    }
}

bool TCodeUpdaterMainDispForm::OpenLinkOn(int comNumber, bool keepBaud) {
    (void)keepBaud;
    m_PortTable[static_cast<std::size_t>(comNumber)] = kPortAvailable;
    ShowError("Unable to start communication: COM port error", kPortCaption);
    return false;
}

void TCodeUpdaterMainDispForm::AttachLinkTimer() {}

void TCodeUpdaterMainDispForm::StopLinkWaits() {}

bool TCodeUpdaterMainDispForm::LinkWaitTimedOut() const {
    return false;
}

}  // namespace aurex
