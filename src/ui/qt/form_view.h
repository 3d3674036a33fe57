#pragma once

// Shows a window model with Qt Widgets: one widget per control, placed as the model says, kept
// in step with every change of the model, and the user's actions handed back to it.

#include <functional>
#include <map>
#include <string>

#include <QObject>
#include <QStyledItemDelegate>

#include "app/control.h"
#include "app/window_rules.h"

class QComboBox;
class QLabel;
class QMenu;
class QAction;
class QWidget;

namespace aurex {

class ProgressPacer;

// Calls into the model go through this, so that an escaped error is shown and the program runs on.
using GuardedCall = std::function<void(const std::function<void()>&)>;

// Draws the items of the port list as the model's drawing rule says.
class PortItemDelegate : public QStyledItemDelegate
{
  public:
    PortItemDelegate(std::function<PortItemLook(int, bool)> look, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    std::function<PortItemLook(int, bool)> look_;
};

class FormView : public QObject, public ControlListener
{
  public:
    FormView(FormModel& form, QWidget* root, GuardedCall guard);
    ~FormView() override;

    QWidget* WidgetFor(const Control& control) const;
    QMenu* MenuFor(const Control& control) const;
    QAction* ActionFor(const Control& control) const;

    // Owner-draws a list control with the given rule; `hint` gives each item's tooltip and
    // `unavailable` why an item is unavailable (empty: it is available).
    void OwnerDrawList(const Control& list, std::function<PortItemLook(int, bool)> look,
                       std::function<QString(int)> hint, std::function<std::string(int)> unavailable);

    void ControlChanged(const FormModel& form, const Control* control, ControlProperty what) override;

  private:
    void Build();
    QWidget* Create(Control& control, QWidget* parent);
    void Sync(const Control& control);
    void SyncItems(const Control& control);
    void SyncHints(const Control& control);
    void SyncItemStates(const Control& control, QComboBox& box);
    void Place(const Control& control);
    void SyncForm();
    void FitRightAlignedLabel(const Control& control, QLabel& label);
    void ElideToWidth(const Control& control, QLabel& label, int width);

    FormModel& form_;
    QWidget* root_;
    GuardedCall guard_;
    std::map<const Control*, QWidget*> widgets_;
    std::map<const Control*, QMenu*> menus_;
    std::map<const Control*, QAction*> actions_;
    std::map<const Control*, std::function<QString(int)>> hints_;
    std::map<const Control*, std::function<std::string(int)>> unavailable_;
    std::map<const Control*, ProgressPacer*> pacers_;
};

} // namespace aurex
