#pragma once

#include <string>

#include "app/control.h"

namespace aurex {

// The password dialog: a fresh one for each showing, so the edit always starts empty.
class TCodeDownPassDispDlg : public FormModel
{
  public:
    TCodeDownPassDispDlg();

    Control Panel1;
    Control Label1;
    Control m_PasswordEdit;
    Control BitBtn1; // OK
    Control BitBtn2; // Cancel

    bool m_OkPressed = false;
    // Asked for the radio's codeplug password rather than the update password.
    bool asksRadioPassword = false;

    void FormActivate() override;
    void BitBtn1Click();
    void BitBtn2Click();
};

// The typed text without leading and trailing blanks and control characters.
std::string ReadTrimmedPassword(const TCodeDownPassDispDlg& dialog);

// Same trimming rule on any text.
std::string TrimBlanks(std::string_view text);

} // namespace aurex
