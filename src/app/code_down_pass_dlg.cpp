#include "app/code_down_pass_dlg.h"

namespace aurex {

TCodeDownPassDispDlg::TCodeDownPassDispDlg()
    : FormModel("CodeDownPassDispDlg", "Radio Code Update - Enter Password", 387, 107)
{
    Panel1.Define(*this, nullptr, "Panel1", ControlKind::Panel, "", {8, 9, 281, 89});
    Label1.Define(*this, &Panel1, "Label1", ControlKind::Label, "Please enter your password:", {8, 16, 0, 0});
    m_PasswordEdit.Define(*this, &Panel1, "m_PasswordEdit", ControlKind::Edit, "", {8, 48, 265, 21},
                          ControlStyle{.passwordChar = '*'});
    BitBtn1.Define(*this, nullptr, "BitBtn1", ControlKind::Button, "OK", {304, 8, 75, 25},
                   ControlStyle{.defaultButton = true, .modalResult = ModalResult::Ok});
    BitBtn2.Define(*this, nullptr, "BitBtn2", ControlKind::Button, "Cancel", {304, 40, 75, 25},
                   ControlStyle{.cancelButton = true, .modalResult = ModalResult::Cancel});
    m_PasswordEdit.SetAccess({.name = "Password", .description = "The password for this update"});
    BitBtn1.OnClick = [this] {
        BitBtn1Click();
        SetModalResult(ModalResult::Ok);
    };
    BitBtn2.OnClick = [this] {
        BitBtn2Click();
        SetModalResult(ModalResult::Cancel);
    };
}

void TCodeDownPassDispDlg::FormActivate()
{
    SetFocus(m_PasswordEdit);
}

void TCodeDownPassDispDlg::BitBtn1Click()
{
    m_OkPressed = true;
}

void TCodeDownPassDispDlg::BitBtn2Click()
{
    m_OkPressed = false;
}

std::string TrimBlanks(std::string_view text)
{
    auto blank = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7F;
    };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string ReadTrimmedPassword(const TCodeDownPassDispDlg& dialog)
{
    return TrimBlanks(dialog.m_PasswordEdit.Caption());
}

} // namespace aurex
