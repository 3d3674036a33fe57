// The Retrieve button: the radio's version information in the version group.

#include "app/code_updater_main_form.h"

namespace aurex {

// Reading the version records arrives with identification; until then Retrieve opens the port
// and closes it again.
void TCodeUpdaterMainDispForm::m_RetrieveVersionInfoButtonClick() {
    if (m_ClickHandlerRunning || m_UpdateInProgress) {
        return;  // a run or another Retrieve has not returned yet
    }
    ClickHandlerScope handler(*this);
    m_StartButton.SetEnabled(false);
    m_ComportComboBox.SetEnabled(false);
    m_RetrieveVersionInfoButton.SetEnabled(false);
    m_LastRetrieveStatus = 0;
    if (OpenRadioLink(true)) {
        m_RetrieveVersionInfoButton.SetEnabled(false);
        m_RetrieveVersionInfoButton.SetEnabled(true);
    }
    CloseRadioLink();
}

}  // namespace aurex
