#include "app/about_dlg.h"

#include <string>

namespace aurex {

// The about box is given by its outer size; the client area is what the frame leaves of it.
TAboutDialog::TAboutDialog(bool makerMode) : FormModel("AboutDialog", "About", 294, 191)
{
    SetWidth(302);
    Panel2.Define(*this, nullptr, "Panel2", ControlKind::Panel, "", {8, 8, 281, 129});
    Image1.Define(*this, &Panel2, "Image1", ControlKind::Picture, "", {48, 8, 186, 60});
    NameLabel.Define(*this, &Panel2, "NameLabel", ControlKind::Label,
                     makerMode ? "Aurex Code Update Maker" : "Aurex Code Updater", {48, 72, 0, 0});
    VersionLabel.Define(*this, &Panel2, "VersionLabel", ControlKind::Label,
                        UiText("Version %1", {UiText::Verbatim(kProgramVersion)}), {48, 88, 0, 0});
    NoticeLabel.Define(*this, &Panel2, "NoticeLabel", ControlKind::Label, "Copyright (c) Aurex Radio Systems",
                       {48, 104, 0, 0});
    OKButton.Define(
        *this, nullptr, "OKButton", ControlKind::Button, "OK", {112, 152, 75, 25},
        ControlStyle{.defaultButton = true, .cancelButton = true, .modalResult = ModalResult::Ok});
    OKButton.OnClick = [this] { SetModalResult(ModalResult::Ok); };
}

} // namespace aurex
