#include "app/control.h"

#include <algorithm>
#include <utility>

namespace aurex {

void Control::Define(FormModel& form, Control* parent, std::string name, ControlKind kind, UiText caption,
                     Rect place, ControlStyle style)
{
    form_ = &form;
    parent_ = parent;
    name_ = std::move(name);
    kind_ = kind;
    caption_ = caption.Plain();
    text_ = std::move(caption);
    place_ = place;
    style_ = std::move(style);
    default_ = style_.defaultButton;
    if (kind_ == ControlKind::Timer) {
        enabled_ = false;
    }
    form.Register(this);
}

void Control::Notify(ControlProperty what)
{
    if (form_ != nullptr) {
        form_->Notify(this, what);
    }
}

void Control::SetCaption(UiText text)
{
    if (text == text_) {
        return;
    }
    caption_ = text.Plain();
    text_ = std::move(text);
    Notify(ControlProperty::Caption);
}

void Control::SetEnabled(bool enabled)
{
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    Notify(ControlProperty::Enabled);
}

void Control::SetVisible(bool visible)
{
    if (visible == visible_) {
        return;
    }
    visible_ = visible;
    Notify(ControlProperty::Visible);
}

void Control::SetChecked(bool checked)
{
    if (checked == checked_) {
        return;
    }
    checked_ = checked;
    Notify(ControlProperty::Checked);
}

void Control::SetDefault(bool isDefault)
{
    if (isDefault == default_) {
        return;
    }
    default_ = isDefault;
    Notify(ControlProperty::Default);
}

void Control::SetItems(std::vector<std::string> items)
{
    items_ = std::move(items);
    selection_ = -1;
    Notify(ControlProperty::Items);
}

void Control::SetSelection(int index)
{
    if (index < -1 || index >= static_cast<int>(items_.size())) {
        index = -1;
    }
    if (index == selection_) {
        return;
    }
    selection_ = index;
    Notify(ControlProperty::Selection);
}

void Control::SetPosition(int position)
{
    position = std::clamp(position, min_, max_);
    if (position == position_) {
        return;
    }
    position_ = position;
    Notify(ControlProperty::Position);
}

void Control::SetRange(int min, int max)
{
    if (max < min) {
        max = min;
    }
    if (min == min_ && max == max_) {
        return;
    }
    min_ = min;
    max_ = max;
    Notify(ControlProperty::Range);
    SetPosition(position_);
}

void Control::SetWidth(int width)
{
    if (width == place_.width) {
        return;
    }
    place_.width = width;
    Notify(ControlProperty::Geometry);
}

void Control::SetInterval(int ms)
{
    if (ms == interval_) {
        return;
    }
    interval_ = ms;
    Notify(ControlProperty::Interval);
}

bool Control::Click()
{
    if (!enabled_ || !OnClick) {
        return false;
    }
    OnClick();
    return true;
}

bool Control::Fire()
{
    return Click();
}

void Control::UserSelect(int index)
{
    SetSelection(index);
    if (OnChange) {
        OnChange();
    }
}

void Control::UserEdit(std::string text)
{
    SetCaption(UiText::Verbatim(std::move(text))); // what was typed is shown as it was typed
}

FormModel::FormModel(std::string name, std::string caption, int clientWidth, int clientHeight)
    : name_(std::move(name)), caption_(caption), text_(std::move(caption)), clientWidth_(clientWidth),
      clientHeight_(clientHeight), width_(clientWidth)
{
}

FormModel::~FormModel()
{
    const std::vector<ControlListener*> listeners = listeners_;
    for (ControlListener* l : listeners) {
        l->FormDestroyed(*this);
    }
}

void FormModel::SetCaption(UiText text)
{
    if (text == text_) {
        return;
    }
    caption_ = text.Plain();
    text_ = std::move(text);
    Notify(nullptr, ControlProperty::Caption);
}

void FormModel::SetWidth(int width)
{
    if (width == width_) {
        return;
    }
    width_ = width;
    Notify(nullptr, ControlProperty::Geometry);
}

Control* FormModel::Find(std::string_view name) const
{
    for (Control* c : controls_) {
        if (c->Name() == name) {
            return c;
        }
    }
    return nullptr;
}

void FormModel::SetFocus(Control& control)
{
    focused_ = &control;
    Notify(&control, ControlProperty::Focus);
}

void FormModel::SetModalResult(ModalResult result)
{
    result_ = result;
    Notify(nullptr, ControlProperty::ModalResult);
}

void FormModel::AddListener(ControlListener* listener)
{
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

void FormModel::RemoveListener(ControlListener* listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void FormModel::Notify(const Control* control, ControlProperty what)
{
    // A listener may detach itself while being told.
    const std::vector<ControlListener*> listeners = listeners_;
    for (ControlListener* l : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end()) {
            l->ControlChanged(*this, control, what);
        }
    }
}

} // namespace aurex
