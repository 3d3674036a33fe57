#pragma once

#include <string>

namespace aurex {

class TCodeUpdaterMainDispForm;

// Shows the password dialog modally over the main window. True, with the typed text trimmed,
// when the user pressed OK; false for Cancel or the close box.
bool PasswordPrompt(TCodeUpdaterMainDispForm& window, std::string& text);

} // namespace aurex
