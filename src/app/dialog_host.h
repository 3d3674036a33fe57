#pragma once

// What the window model asks of the rendering that shows it: modal message boxes, modal
// dialogs and closing the main window. The Qt window, the console front end and the test fake
// each answer these in their own way.

#include <functional>
#include <string>
#include <string_view>

#include "text/ui_text.h"

namespace aurex {

class FormModel;
class UpdateHistory;

enum class MessageIcon { Error, Information, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// "Error", "Information", "Question": how the console and its events name a box's kind.
inline const char* MessageIconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error:
        return "Error";
    case MessageIcon::Question:
        return "Question";
    case MessageIcon::Information:
        break;
    }
    return "Information";
}

inline constexpr std::string_view kAppTitle = "Aurex Code Updater";

class DialogHost
{
  public:
    virtual ~DialogHost() = default;

    // A modal box owned by `owner`; returns the button pressed (Ok for an Ok box). A rendering
    // that translates renders both texts; the others show them plain.
    virtual MessageAnswer ShowMessage(const FormModel& owner, const UiText& text, const UiText& caption,
                                      MessageIcon icon, MessageButtons buttons) = 0;

    // A Yes/No question, No its default, that leaves the caller running while it is open:
    // `answered` gets the answer later. A rendering that cannot leave a box open asks at once.
    virtual void AskWithoutWaiting(const FormModel& owner, const UiText& text, const UiText& caption,
                                   std::function<void(MessageAnswer)> answered)
    {
        answered(ShowMessage(owner, text, caption, MessageIcon::Question, MessageButtons::YesNo));
    }

    // Closes the question AskWithoutWaiting left open, without an answer.
    virtual void WithdrawQuestion(const FormModel& owner) { (void)owner; }

    // Shows `dialog` modally over `owner` and returns once it has closed. The dialog's buttons
    // set its modal result; the close box leaves the result Cancel without any button's event.
    virtual void ShowModal(const FormModel& owner, FormModel& dialog) = 0;

    // Asks for a codeplug backup to put back into the radio, starting in `folder` (the backups
    // folder); empty when none was chosen. A rendering without a chooser chooses nothing.
    virtual std::string ChooseBackupFile(const FormModel& owner, const std::string& folder)
    {
        (void)owner;
        (void)folder;
        return {};
    }

    // Shows the update history over `owner` (a table, filtered by radio identity, exported as
    // CSV). A rendering without one shows nothing.
    virtual void ShowHistory(const FormModel& owner, UpdateHistory& history)
    {
        (void)owner;
        (void)history;
    }

    // Asks where to save a file, suggesting `suggestedPath`; empty when nothing was chosen.
    virtual std::string ChooseSaveFile(const FormModel& owner, const UiText& caption,
                                       const std::string& suggestedPath)
    {
        (void)owner;
        (void)caption;
        (void)suggestedPath;
        return {};
    }

    // Opens `folder` in the desktop's file manager. A rendering without one does nothing.
    virtual void ShowFolder(const FormModel& owner, const std::string& folder)
    {
        (void)owner;
        (void)folder;
    }

    // Asks the rendering to close `form`; the rendering lets the form refuse (FormCloseQuery).
    virtual void RequestClose(FormModel& form) = 0;
};

} // namespace aurex
