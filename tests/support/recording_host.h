#pragma once

// A rendering of the window model for tests: it records every change of every control, answers
// message boxes and dialogs from a script, and closes the window the way a real one would.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/code_updater_main_form.h"
#include "app/control.h"
#include "app/dialog_host.h"

namespace aurex::testing {

struct RecordedMessage
{
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
};

// How the user leaves the password dialog.
enum class DialogExit { OkButton, CancelButton, EnterKey, EscKey, CloseBox };

struct PasswordEntry
{
    std::string typed;
    DialogExit exit = DialogExit::OkButton;
};

class RecordingHost : public DialogHost, public ControlListener
{
  public:
    ~RecordingHost() override;

    // Records the changes of `form` from now on.
    void Attach(FormModel& form);

    MessageAnswer ShowMessage(const FormModel& owner, const UiText& text, const UiText& caption,
                              MessageIcon icon, MessageButtons buttons) override;
    void ShowModal(const FormModel& owner, FormModel& dialog) override;
    void RequestClose(FormModel& form) override;
    std::string ChooseBackupFile(const FormModel& owner, const std::string& folder) override;
    void ShowHistory(const FormModel& owner, UpdateHistory& history) override;
    std::string ChooseSaveFile(const FormModel& owner, const UiText& caption,
                               const std::string& suggestedPath) override;
    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;
    void FormDestroyed(const FormModel& form) override;

    // Script: answers for Yes/No boxes (Yes when the queue is empty) and password entries
    // (the close box when the queue is empty). A callback runs inside each message box, as the
    // user's actions while a modal box is up.
    std::deque<MessageAnswer> answers;
    std::deque<PasswordEntry> passwords;
    // Files chosen in the restore dialog (none chosen when the queue is empty); the folders it
    // was opened in.
    std::deque<std::string> backupChoices;
    std::vector<std::string> backupFolders;
    // Files chosen in save dialogs (none chosen when empty); the rows each history window showed.
    std::deque<std::string> saveChoices;
    std::vector<std::size_t> historyRowsShown;

    // What happened.
    std::vector<RecordedMessage> messages;
    std::vector<std::string> changes;      // "control.Property=value" in order
    std::vector<std::string> statusTexts;  // each caption m_StatusLabel took
    std::vector<std::string> dialogsShown; // caption of each modal dialog
    std::vector<std::string> aboutLines;   // name and version lines of the last about box
    bool passwordOkPressed = false;        // m_OkPressed of the last password dialog
    bool closed = false;

    // Changes recorded for one control and property, e.g. Changes("m_StartButton", "Caption").
    std::vector<std::string> Changes(const std::string& control, const std::string& property) const;

  private:
    std::vector<FormModel*> attached_;
};

// Blobs that hold only an image set's record.
std::shared_ptr<const EmbeddedBlobs> RecordBlobs(std::uint8_t radioModel, std::uint8_t kindFlag,
                                                 std::int8_t series, std::uint8_t upgradeType);

// An environment that touches no device: the given COM numbers are available, the rest absent.
MainFormEnvironment FakeEnvironment(std::vector<int> availablePorts = {1},
                                    std::string programPath = "/opt/aurex/Unit_Release_3_0_9.exe",
                                    unsigned processors = 1);

} // namespace aurex::testing
