#pragma once

// The window model: forms and controls as plain state with change notification, so that the
// Qt window, the console front end and the tests render one and the same behaviour.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/ui_text.h"

namespace aurex {

class FormModel;
class Control;

// Left, top, width, height in client pixels of the parent. A width or height of 0 means
// "sized to the content".
struct Rect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class ControlKind {
    MenuBar,
    Menu,
    MenuItem,
    ToolBar,
    ToolButton,
    SpeedButton,
    Label,
    GroupBox,
    Panel,
    Picture,
    ComboBox,
    RadioButton,
    Bevel,
    ProgressBar,
    Button,
    Edit,
    Timer,
};

enum class ControlProperty {
    Caption,
    Enabled,
    Visible,
    Checked,
    Items,
    Selection,
    Position,
    Range,
    Geometry,
    Default,
    Interval,
    Focus,
    ModalResult,
    Appearance, // drawn differently for a reason outside the control (owner-drawn lists)
    Alert,      // something the user must hear at once: the run has failed
};

enum class ModalResult { None, Ok, Cancel };

// Attributes fixed when a control is defined; renderings read them once.
struct ControlStyle
{
    std::string hint{};
    bool bold = false;
    bool flat = false;
    bool defaultButton = false;                  // Enter presses it
    bool cancelButton = false;                   // Esc presses it
    char passwordChar = 0;                       // edit shows this character for each typed one
    int itemHeight = 0;                          // owner-drawn list item height
    ModalResult modalResult = ModalResult::None; // a button that closes its dialog with this
    bool alignRight = false;                     // labels: text flush with the right edge of their place
    std::string menu{};                          // tool buttons: the name of the menu that they open
    bool checkable = false;                      // menu items: one that is ticked on and off
    bool verbatim = false;                       // shows data (a version, a path): never translated
};

// What screen readers and the keyboard are told of a control beyond its caption. Renderings
// read it once, when they build the form.
struct Accessibility
{
    std::string name{};        // when neither caption nor hint names the control
    std::string description{}; // what the control is for
    char mnemonic = 0;         // Alt and this letter press it: its first place in the caption is marked
    int tabOrder = -1;         // place in the Tab order; -1 comes after, in definition order
    bool announce = false;     // labels: a status line, whose every new text screen readers follow
    std::string labelFor{};    // labels: the control they name (a list has no caption of its own)
};

// Something that shows a form: told after each change of a control's (or the form's own) state.
class ControlListener
{
  public:
    virtual ~ControlListener() = default;
    // control is null when the form itself changed (caption, width, focus, modal result).
    virtual void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) = 0;
    // The form is going away; a listener that outlives it forgets it here.
    virtual void FormDestroyed(const FormModel& form) { (void)form; }
};

class Control
{
  public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    void Define(FormModel& form, Control* parent, std::string name, ControlKind kind, UiText caption,
                Rect place, ControlStyle style = {});

    const std::string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }
    Control* Parent() const { return parent_; }
    FormModel* Form() const { return form_; }
    const ControlStyle& Style() const { return style_; }
    const Accessibility& Access() const { return access_; }
    void SetAccess(Accessibility access) { access_ = std::move(access); }

    // The caption as the program says it (untranslated); Text() is the same with its arguments
    // apart, for a rendering that translates.
    const std::string& Caption() const { return caption_; }
    const UiText& Text() const { return text_; }
    void SetCaption(UiText text);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    bool IsDefault() const { return default_; }
    void SetDefault(bool isDefault);

    // Lists: items and the selected index (-1 none).
    const std::vector<std::string>& Items() const { return items_; }
    void SetItems(std::vector<std::string> items);
    int Selection() const { return selection_; }
    void SetSelection(int index);

    // Progress bars: position within [Min, Max], moved by Step.
    int Position() const { return position_; }
    void SetPosition(int position);
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetRange(int min, int max);

    const Rect& Place() const { return place_; }
    void SetWidth(int width);

    // Timers: interval in milliseconds and Enabled; Fire is the expiry.
    int Interval() const { return interval_; }
    void SetInterval(int ms);

    // Asks renderings to draw the control again.
    void Repaint() { Notify(ControlProperty::Appearance); }
    // Asks renderings to put the control's text before the user at once (a failure).
    void RaiseAlert() { Notify(ControlProperty::Alert); }

    // Events raised by the user (through a rendering) or by a timer. Click does nothing on a
    // disabled control, as no rendering can click one.
    std::function<void()> OnClick;
    std::function<void()> OnChange;
    bool Click();
    bool Fire();                     // timers: only while enabled
    void UserSelect(int index);      // selects an item, then raises OnChange
    void UserEdit(std::string text); // edits: the typed text replaces the caption

  private:
    void Notify(ControlProperty what);

    FormModel* form_ = nullptr;
    Control* parent_ = nullptr;
    std::string name_;
    ControlKind kind_ = ControlKind::Label;
    ControlStyle style_;
    Accessibility access_;
    std::string caption_;
    UiText text_;
    bool enabled_ = true;
    bool visible_ = true;
    bool checked_ = false;
    bool default_ = false;
    std::vector<std::string> items_;
    int selection_ = -1;
    int position_ = 0;
    int min_ = 0;
    int max_ = 100;
    int interval_ = 1000;
    Rect place_;
};

class FormModel
{
  public:
    FormModel(std::string name, std::string caption, int clientWidth, int clientHeight);
    virtual ~FormModel();
    FormModel(const FormModel&) = delete;
    FormModel& operator=(const FormModel&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Caption() const { return caption_; }
    const UiText& Text() const { return text_; }
    void SetCaption(UiText text);
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    // The window's outer width; renderings map it to their window width.
    int Width() const { return width_; }
    void SetWidth(int width);

    // Every control in definition order (a parent comes before its children).
    const std::vector<Control*>& Controls() const { return controls_; }
    Control* Find(std::string_view name) const;

    const Control* FocusedControl() const { return focused_; }
    void SetFocus(Control& control);

    // Set when the form is to close as a modal dialog; renderings close it on the change.
    ModalResult Result() const { return result_; }
    void SetModalResult(ModalResult result);

    // Raised by renderings when the form becomes the active window.
    virtual void FormActivate() {}

    void AddListener(ControlListener* listener);
    void RemoveListener(ControlListener* listener);

  private:
    friend class Control;
    void Register(Control* control) { controls_.push_back(control); }
    void Notify(const Control* control, ControlProperty what);

    std::string name_;
    std::string caption_;
    UiText text_;
    int clientWidth_;
    int clientHeight_;
    int width_;
    std::vector<Control*> controls_;
    std::vector<ControlListener*> listeners_;
    const Control* focused_ = nullptr;
    ModalResult result_ = ModalResult::None;
};

} // namespace aurex
