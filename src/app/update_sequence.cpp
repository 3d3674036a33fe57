// The Start button: the password gate and the two update sequences.

#include "app/code_down_pass_dlg.h"
#include "app/code_updater_main_form.h"

namespace aurex {

void TCodeUpdaterMainDispForm::m_StartButtonClick() {
    const bool bootRequested = m_UpgradeType == 1 || (m_UpgradeType == 3 && m_BootRadioButton.Checked());
    if (m_UpdateInProgress) {
        EndUpdateRun(true);
        m_ProgressBar.SetPosition(0);
        return;
    }
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

// The steps after opening the port arrive with the image store, identification, download and
// codeplug work; until then a run opens the port and ends.
void TCodeUpdaterMainDispForm::RunApplicationUpdate(bool bootRequested) {
    (void)bootRequested;
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
