// The Start button: the password gate and the two update sequences.

#include "app/code_down_pass_dlg.h"
#include "app/code_updater_main_form.h"

namespace aurex {

void TCodeUpdaterMainDispForm::m_StartButtonClick() {
    const bool bootRequested = ResourceAttributes.upgrade_type == 1 || (ResourceAttributes.upgrade_type == 3 && m_BootRadioButton.Checked());
    if (m_UpdateInProgress) {
        EndUpdateRun(true);
        m_ProgressBar.SetPosition(0);
        return;
    }
    if (m_ClickHandlerRunning) {
        return;  // an earlier run (or Retrieve) has not returned yet
    }
    ClickHandlerScope handler(*this);
    if (!m_PasswordAccepted) {
        std::string typed;
        {
            TCodeDownPassDispDlg dialog;
            host_.ShowModal(*this, dialog);
            typed = ReadTrimmedPassword(dialog);
        }
        const char* expected = bootRequested && !m_BootPathSelected ? "marvoski" : "brontel";
        if (typed != expected) {
            return;
        }
        m_PasswordAccepted = true;
    }
    SetFocus(m_RetrieveVersionInfoButton);
    if (m_BootPathSelected) {
        RunBootUpdate();
    } else {
        RunApplicationUpdate(bootRequested);
    }
    CloseRadioLink();
}

// Identification, download and the codeplug step arrive with their own work; until then a run
// opens the port, extracts the images and ends without writing anything to the radio.
void TCodeUpdaterMainDispForm::RunApplicationUpdate(bool bootRequested) {
    (void)bootRequested;
    const bool bootChosen = ResourceAttributes.upgrade_type == 3 && m_BootRadioButton.Checked();
    BeginUpdateRun();
    ShowStatus("Extracting embedded files...");
    if (!OpenRadioLink(false)) {
        ShowStatus("Idle");
        EndUpdateRun(false);
        return;
    }
    if (!ExtractEmbeddedFiles(bootChosen)) {
        ShowStatus("Idle");
        EndUpdateRun(false);
        return;
    }
    ShowStatus("Idle");
    EndUpdateRun(true);
}

void TCodeUpdaterMainDispForm::RunBootUpdate() {
    BeginUpdateRun();
    ShowStatus("Extracting embedded files...");
    if (!OpenRadioLink(false)) {
        ShowStatus("Idle");
        EndUpdateRun(false);
        return;
    }
    ShowStatus("Idle");
    EndUpdateRun(false);
}

}  // namespace aurex
