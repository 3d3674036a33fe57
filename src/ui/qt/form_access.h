#pragma once

// What a rendering of a window model tells screen readers and the keyboard: accessible names and
// descriptions, Alt+letter marks, the Tab order, announcements of status changes and Enter for
// the default button of a window that is not a dialog.

#include <functional>

#include <QObject>
#include <QString>

#include "app/control.h"

class QAccessibleEvent;
class QAction;
class QProgressBar;
class QWidget;

namespace aurex {

// The caption as Qt shows it, translated: the control's mnemonic letter marked with '&' (at its
// first place, either case) unless the caption marks one itself or lacks the letter.
QString MnemonicText(const Control& control);

// The caption without its '&' marks ("&&" stands for one '&').
QString StripMnemonic(const QString& caption);

// Name: the given one, else the hint, else the caption. Description: the given one, else the hint
// when it is not the name already.
QString AccessibleNameOf(const Control& control);
QString AccessibleDescriptionOf(const Control& control);

// Sets both on the widget (or action), each only when it changed.
void Describe(const Control& control, QWidget& widget);
void Describe(const Control& control, QAction& action);

// Tells screen readers about a change the widget's own events do not carry: a failure, told
// as an alert from the control that says it.
void Announce(const Control& control, QWidget& widget, ControlProperty what);

// A progress bar has taken a new value (Qt tells a listening screen reader itself).
void ValueShown(QProgressBar& bar);

// What the widget is to a screen reader beyond its kind: a status line is a status bar, a
// picture a graphic, a bevel a separator; each named by its own name alone. Set before anything asks for the
// widget's accessible interface.
void GiveRole(const Control& control, QWidget& widget);

// Every announcement is also handed to `watcher` (empty: none). Qt passes them on only while a
// screen reader listens, which a test cannot arrange on every platform.
void WatchAnnouncements(std::function<void(const QAccessibleEvent&)> watcher);

// Makes each label the buddy of the control it names, which screen readers read as its label.
void RelateLabels(const FormModel& form, const std::function<QWidget*(const Control&)>& widgetFor);

// Chains the focusable widgets in the model's Tab order and gives the first that may take it the
// focus.
void OrderTabs(const FormModel& form, const std::function<QWidget*(const Control&)>& widgetFor);

// Enter in a window that is not a dialog: a focused push button is pressed, otherwise the
// model's default button (when it may be pressed).
class DefaultButtonKeys : public QObject
{
  public:
    DefaultButtonKeys(const FormModel& form, std::function<QWidget*(const Control&)> widgetFor,
                      QWidget& root);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    const FormModel& form_;
    std::function<QWidget*(const Control&)> widgetFor_;
    QWidget& root_;
};

} // namespace aurex
