#include "ui/qt/form_access.h"

#include <algorithm>
#include <vector>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "ui/qt/translated.h"

namespace aurex {

QString StripMnemonic(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i; // "&x" is x; "&&" is '&'
        }
        out += text[i];
    }
    return out;
}

QString MnemonicText(const Control& control)
{
    const QString caption = ShownCaption(control);
    const char letter = control.Access().mnemonic;
    if (letter == 0 || caption.contains(u'&')) {
        return caption;
    }
    const qsizetype at = caption.indexOf(QChar(letter), 0, Qt::CaseInsensitive);
    if (at < 0) {
        return caption; // this caption lacks the letter: no mark rather than a wrong one
    }
    return caption.left(at) + u'&' + caption.mid(at);
}

QString AccessibleNameOf(const Control& control)
{
    if (!control.Access().name.empty()) {
        return ShownText(control, control.Access().name);
    }
    if (!control.Style().hint.empty()) {
        return ShownText(control, control.Style().hint);
    }
    return StripMnemonic(ShownCaption(control));
}

QString AccessibleDescriptionOf(const Control& control)
{
    if (!control.Access().description.empty()) {
        return ShownText(control, control.Access().description);
    }
    const QString hint = control.Style().hint.empty() ? QString() : ShownText(control, control.Style().hint);
    return hint == AccessibleNameOf(control) ? QString() : hint;
}

void Describe(const Control& control, QWidget& widget)
{
    // Each set sends an event to screen readers: only real changes.
    if (const QString name = AccessibleNameOf(control); widget.accessibleName() != name) {
        widget.setAccessibleName(name);
    }
    if (const QString description = AccessibleDescriptionOf(control);
        widget.accessibleDescription() != description) {
        widget.setAccessibleDescription(description);
    }
}

void Describe(const Control& control, QAction& action)
{
    // Menu items are read by their text; the description goes where Qt offers it.
    const QString description = AccessibleDescriptionOf(control);
    if (action.statusTip() != description) {
        action.setStatusTip(description);
        action.setWhatsThis(description);
    }
}

namespace {

std::function<void(const QAccessibleEvent&)>& Watcher()
{
    static std::function<void(const QAccessibleEvent&)> watcher;
    return watcher;
}

void Send(QAccessibleEvent& event)
{
    if (Watcher()) {
        Watcher()(event);
    }
    QAccessible::updateAccessibility(&event);
}

} // namespace

void WatchAnnouncements(std::function<void(const QAccessibleEvent&)> watcher)
{
    Watcher() = std::move(watcher);
}

void Announce(const Control&, QWidget& widget, ControlProperty what)
{
    if (what == ControlProperty::Alert) {
        QAccessibleEvent alert(&widget, QAccessible::Alert);
        Send(alert);
    }
}

void ValueShown(QProgressBar& bar)
{
    if (Watcher()) {
        Watcher()(QAccessibleValueChangeEvent(&bar, bar.value()));
    }
}

namespace {

constexpr char kRoleProperty[] = "aurexAccessibleRole";

// Named by its own name alone: Qt would lend an unnamed widget the title of its group.
class OwnNameOnly : public QAccessibleWidget
{
  public:
    using QAccessibleWidget::QAccessibleWidget;
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? widget()->accessibleName() : QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* RoleFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    const QVariant role = widget != nullptr ? widget->property(kRoleProperty) : QVariant();
    return role.isValid() ? new OwnNameOnly(widget, static_cast<QAccessible::Role>(role.toInt())) : nullptr;
}

} // namespace

void GiveRole(const Control& control, QWidget& widget)
{
    QAccessible::Role role = QAccessible::NoRole;
    if (control.Kind() == ControlKind::Picture) {
        role = QAccessible::Graphic;
    } else if (control.Kind() == ControlKind::Bevel) {
        role = QAccessible::Separator;
    } else if (control.Kind() == ControlKind::Label && control.Access().announce) {
        role = QAccessible::StatusBar;
    } else {
        return;
    }
    static const bool installed = [] {
        QAccessible::installFactory(RoleFactory);
        return true;
    }();
    (void)installed;
    widget.setProperty(kRoleProperty, static_cast<int>(role));
}

void RelateLabels(const FormModel& form, const std::function<QWidget*(const Control&)>& widgetFor)
{
    for (const Control* c : form.Controls()) {
        const Control* named = c->Access().labelFor.empty() ? nullptr : form.Find(c->Access().labelFor);
        auto* label = qobject_cast<QLabel*>(widgetFor(*c));
        if (named != nullptr && label != nullptr) {
            label->setBuddy(widgetFor(*named));
        }
    }
}

void OrderTabs(const FormModel& form, const std::function<QWidget*(const Control&)>& widgetFor)
{
    std::vector<const Control*> order;
    for (const Control* c : form.Controls()) {
        if (QWidget* w = widgetFor(*c); w != nullptr && (w->focusPolicy() & Qt::TabFocus) != 0) {
            order.push_back(c);
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        const auto rank = [](const Control* c) {
            return c->Access().tabOrder < 0 ? 1 << 30 : c->Access().tabOrder;
        };
        return rank(a) < rank(b);
    });
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(widgetFor(*order[i - 1]), widgetFor(*order[i]));
    }
    if (form.FocusedControl() != nullptr) {
        return;
    }
    for (const Control* c : order) {
        if (c->Enabled() && c->Visible()) {
            widgetFor(*c)->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

DefaultButtonKeys::DefaultButtonKeys(const FormModel& form, std::function<QWidget*(const Control&)> widgetFor,
                                     QWidget& root)
    : QObject(&root), form_(form), widgetFor_(std::move(widgetFor)), root_(root)
{
    root.installEventFilter(this);
}

bool DefaultButtonKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &root_ || event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    // A focused button is what Enter means; choices (radio buttons, boxes) leave it to the default.
    auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    if (focused != nullptr && root_.isAncestorOf(focused) &&
        qobject_cast<QRadioButton*>(focused) == nullptr && qobject_cast<QCheckBox*>(focused) == nullptr) {
        if (focused->isEnabled()) {
            focused->click();
        }
        return true;
    }
    for (const Control* c : form_.Controls()) {
        if (c->Kind() == ControlKind::Button && c->IsDefault()) {
            if (QWidget* w = widgetFor_(*c); w != nullptr && w->isEnabled() && w->isVisible()) {
                static_cast<QAbstractButton*>(w)->click();
                return true;
            }
        }
    }
    return false;
}

} // namespace aurex
