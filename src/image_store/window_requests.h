#pragma once

#include <string>

namespace aurex {

// What extraction and the other non-window code ask of the main window: modal message boxes
// and the status line. The window model implements it over its own rendering; tests record.
// The types live in the class so that they stay apart from the window's own box types.
class WindowRequests
{
  public:
    enum class Icon { Error, Information, Question };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    struct Message
    {
        std::string caption;
        Icon icon = Icon::Error;
        std::string text;
        Buttons buttons = Buttons::Ok;
        friend bool operator==(const Message&, const Message&) = default;
    };

    virtual ~WindowRequests() = default;
    // Shows a modal box owned by the main window and returns the button pressed.
    virtual Answer ShowMessage(const Message& message) = 0;
    // Sets the text of the status line.
    virtual void ShowStatus(const std::string& text) = 0;
};

} // namespace aurex
