#include "support/recording_host.h"

#include "history/update_history.h"

#include <algorithm>

#include "app/code_down_pass_dlg.h"

namespace aurex::testing {

namespace {

const char* PropertyName(ControlProperty what)
{
    switch (what) {
    case ControlProperty::Caption:
        return "Caption";
    case ControlProperty::Enabled:
        return "Enabled";
    case ControlProperty::Visible:
        return "Visible";
    case ControlProperty::Checked:
        return "Checked";
    case ControlProperty::Items:
        return "Items";
    case ControlProperty::Selection:
        return "Selection";
    case ControlProperty::Position:
        return "Position";
    case ControlProperty::Range:
        return "Range";
    case ControlProperty::Geometry:
        return "Geometry";
    case ControlProperty::Default:
        return "Default";
    case ControlProperty::Interval:
        return "Interval";
    case ControlProperty::Focus:
        return "Focus";
    case ControlProperty::ModalResult:
        return "ModalResult";
    case ControlProperty::Appearance:
        return "Appearance";
    case ControlProperty::Alert:
        return "Alert";
    }
    return "?";
}

std::string ValueOf(const FormModel& form, const Control* c, ControlProperty what)
{
    if (c == nullptr) {
        switch (what) {
        case ControlProperty::Caption:
            return form.Caption();
        case ControlProperty::Geometry:
            return std::to_string(form.Width());
        case ControlProperty::ModalResult:
            return std::to_string(static_cast<int>(form.Result()));
        default:
            return {};
        }
    }
    switch (what) {
    case ControlProperty::Caption:
        return c->Caption();
    case ControlProperty::Enabled:
        return c->Enabled() ? "true" : "false";
    case ControlProperty::Visible:
        return c->Visible() ? "true" : "false";
    case ControlProperty::Checked:
        return c->Checked() ? "true" : "false";
    case ControlProperty::Default:
        return c->IsDefault() ? "true" : "false";
    case ControlProperty::Items:
        return std::to_string(c->Items().size());
    case ControlProperty::Selection:
        return std::to_string(c->Selection());
    case ControlProperty::Position:
        return std::to_string(c->Position());
    case ControlProperty::Range:
        return std::to_string(c->Min()) + ".." + std::to_string(c->Max());
    case ControlProperty::Geometry:
        return std::to_string(c->Place().width);
    case ControlProperty::Interval:
        return std::to_string(c->Interval());
    default:
        return {};
    }
}

} // namespace

RecordingHost::~RecordingHost()
{
    for (FormModel* f : attached_) {
        f->RemoveListener(this);
    }
}

void RecordingHost::FormDestroyed(const FormModel& form)
{
    attached_.erase(std::remove(attached_.begin(), attached_.end(), &form), attached_.end());
}

void RecordingHost::Attach(FormModel& form)
{
    form.AddListener(this);
    attached_.push_back(&form);
}

MessageAnswer RecordingHost::ShowMessage(const FormModel&, const UiText& text, const UiText& caption,
                                         MessageIcon icon, MessageButtons buttons)
{
    messages.push_back({text.Plain(), caption.Plain(), icon, buttons});
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    if (answers.empty()) {
        return MessageAnswer::Yes;
    }
    const MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
}

void RecordingHost::ShowModal(const FormModel&, FormModel& dialog)
{
    dialogsShown.push_back(dialog.Caption());
    dialog.SetModalResult(ModalResult::None);
    if (auto* pass = dynamic_cast<TCodeDownPassDispDlg*>(&dialog)) {
        pass->FormActivate();
        PasswordEntry entry;
        if (passwords.empty()) {
            entry.exit = DialogExit::CloseBox;
        } else {
            entry = passwords.front();
            passwords.pop_front();
        }
        if (pass->FocusedControl() == &pass->m_PasswordEdit) {
            pass->m_PasswordEdit.UserEdit(entry.typed);
        }
        // Enter presses the default button, Esc the cancel button, as a real dialog does.
        auto press = [&](bool wantDefault) {
            for (Control* c : pass->Controls()) {
                if (wantDefault ? c->Style().defaultButton : c->Style().cancelButton) {
                    c->Click();
                    return;
                }
            }
        };
        switch (entry.exit) {
        case DialogExit::OkButton:
            pass->BitBtn1.Click();
            break;
        case DialogExit::CancelButton:
            pass->BitBtn2.Click();
            break;
        case DialogExit::EnterKey:
            press(true);
            break;
        case DialogExit::EscKey:
            press(false);
            break;
        case DialogExit::CloseBox:
            pass->SetModalResult(ModalResult::Cancel);
            break;
        }
        passwordOkPressed = pass->m_OkPressed;
        return;
    }
    aboutLines.clear();
    for (Control* c : dialog.Controls()) {
        if (c->Kind() == ControlKind::Label) {
            aboutLines.push_back(c->Caption());
        }
    }
    for (Control* c : dialog.Controls()) {
        if (c->Style().modalResult == ModalResult::Ok) {
            c->Click();
            break;
        }
    }
}

std::string RecordingHost::ChooseBackupFile(const FormModel&, const std::string& folder)
{
    backupFolders.push_back(folder);
    if (backupChoices.empty()) {
        return {};
    }
    std::string chosen = std::move(backupChoices.front());
    backupChoices.pop_front();
    return chosen;
}

void RecordingHost::ShowHistory(const FormModel&, UpdateHistory& history)
{
    historyRowsShown.push_back(history.Rows().size());
}

std::string RecordingHost::ChooseSaveFile(const FormModel&, const UiText&, const std::string&)
{
    if (saveChoices.empty()) {
        return {};
    }
    std::string chosen = std::move(saveChoices.front());
    saveChoices.pop_front();
    return chosen;
}

void RecordingHost::RequestClose(FormModel& form)
{
    auto* main = dynamic_cast<TCodeUpdaterMainDispForm*>(&form);
    if (main == nullptr || main->FormCloseQuery()) {
        closed = true;
    }
}

void RecordingHost::ControlChanged(const FormModel& form, const Control* control, ControlProperty what)
{
    const std::string name = control == nullptr ? form.Name() : control->Name();
    changes.push_back(name + "." + PropertyName(what) + "=" + ValueOf(form, control, what));
    if (control != nullptr && control->Name() == "m_StatusLabel" && what == ControlProperty::Caption) {
        statusTexts.push_back(control->Caption());
    }
}

std::vector<std::string> RecordingHost::Changes(const std::string& control, const std::string& property) const
{
    std::vector<std::string> out;
    const std::string prefix = control + "." + property + "=";
    for (const std::string& c : changes) {
        if (c.rfind(prefix, 0) == 0) {
            out.push_back(c.substr(prefix.size()));
        }
    }
    return out;
}

namespace {

class RecordOnly : public EmbeddedBlobs
{
  public:
    explicit RecordOnly(const ResourceAttributes& record) : bytes_(record.Encode()) {}
    std::optional<std::span<const unsigned char>> Find(std::string_view name) const override
    {
        if (NamesEqualIgnoringCase(name, kResourceAttributesBlobName)) {
            return std::span<const unsigned char>(bytes_);
        }
        return std::nullopt;
    }

  private:
    std::array<unsigned char, ResourceAttributes::kSize> bytes_;
};

} // namespace

std::shared_ptr<const EmbeddedBlobs> RecordBlobs(std::uint8_t radioModel, std::uint8_t kindFlag,
                                                 std::int8_t series, std::uint8_t upgradeType)
{
    ResourceAttributes record;
    record.radio_model = radioModel;
    record.kind_flag = kindFlag;
    record.series = series;
    record.upgrade_type = upgradeType;
    const std::string tessaro = "2.8.2";
    const std::string brevio = "3.0.9";
    std::copy(tessaro.begin(), tessaro.end(), record.tessaro_version.begin());
    std::copy(brevio.begin(), brevio.end(), record.brevio_version.begin());
    return std::make_shared<RecordOnly>(record);
}

MainFormEnvironment FakeEnvironment(std::vector<int> availablePorts, std::string programPath,
                                    unsigned processors)
{
    MainFormEnvironment env;
    env.programPath = std::move(programPath);
    env.processorCount = [processors] { return processors; };
    env.probePort = [availablePorts](int n) {
        return std::find(availablePorts.begin(), availablePorts.end(), n) != availablePorts.end()
                   ? PortOpenResult::Opened
                   : PortOpenResult::NotPresent;
    };
    // Nothing stands out: failure messages stay as the run gives them.
    env.checkConnection = [](const std::string&, LineProbes) { return ports::Findings{}; };
    return env;
}

} // namespace aurex::testing
