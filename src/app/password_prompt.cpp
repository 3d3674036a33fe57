#include "app/password_prompt.h"

#include "app/code_down_pass_dlg.h"
#include "app/code_updater_main_form.h"

namespace aurex {

bool PasswordPrompt(TCodeUpdaterMainDispForm& window, std::string& text)
{
    TCodeDownPassDispDlg dialog;
    dialog.asksRadioPassword = true;
    window.Host().ShowModal(window, dialog);
    if (!dialog.m_OkPressed) {
        return false;
    }
    text = ReadTrimmedPassword(dialog);
    return true;
}

} // namespace aurex
