#pragma once

#include <string>

#include "app/control.h"

namespace aurex {

inline constexpr const char* kProgramVersion = "1.2.5";
// The version with the commit it was built from and the build date: "1.2.5 (a18beaf, Dec  8 2026)".
std::string ProgramBuild();

// The about box. makerMode names the image set maker; this program always passes false.
class TAboutDialog : public FormModel
{
  public:
    explicit TAboutDialog(bool makerMode);

    Control Panel2;
    Control Image1; // our logo
    Control NameLabel;
    Control VersionLabel;
    Control NoticeLabel;
    Control OKButton;
};

} // namespace aurex
