#pragma once

#include "app/control.h"

namespace aurex {

inline constexpr const char* kProgramVersion = "1.2.5";

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
