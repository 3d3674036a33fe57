#include "ui/qt/port_list_access.h"

#include <map>

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QItemSelectionModel>

namespace aurex {

namespace {

constexpr char kProperty[] = "aurexUnavailableItems";

class ItemAccess : public QAccessibleInterface
{
  public:
    ItemAccess(QAbstractItemView& view, int row) : view_(&view), row_(row) {}

    bool isValid() const override { return view_ != nullptr && Index().isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return Parent()->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return Parent(); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            return Index().data(Qt::DisplayRole).toString();
        }
        return t == QAccessible::Description ? Index().data(Qt::AccessibleDescriptionRole).toString()
                                             : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        const QRect r = view_->visualRect(Index());
        return r.isNull() ? r : r.translated(view_->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State st;
        const QModelIndex index = Index();
        st.invisible = !view_->viewport()->rect().intersects(view_->visualRect(index));
        st.selectable = true;
        st.focusable = true;
        st.selected = view_->selectionModel() != nullptr && view_->selectionModel()->isSelected(index);
        st.focused = view_->currentIndex() == index;
        st.disabled = index.data(kItemUnavailableRole).toBool();
        return st;
    }

  private:
    QModelIndex Index() const { return view_->model()->index(row_, 0, view_->rootIndex()); }
    QAccessibleInterface* Parent() const { return QAccessible::queryAccessibleInterface(view_); }

    QAbstractItemView* view_;
    int row_;
};

class ListAccess : public QAccessibleWidget
{
  public:
    explicit ListAccess(QAbstractItemView& view) : QAccessibleWidget(&view, QAccessible::List), view_(view) {}
    ~ListAccess() override
    {
        for (const auto& [row, id] : items_) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return view_.model() != nullptr ? view_.model()->rowCount() : 0; }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount()) {
            return nullptr;
        }
        if (const auto it = items_.find(index); it != items_.end()) {
            return QAccessible::accessibleInterface(it->second);
        }
        auto* item = new ItemAccess(view_, index);
        items_[index] = QAccessible::registerAccessibleInterface(item);
        return item;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (const auto& [row, id] : items_) {
            if (QAccessible::accessibleInterface(id) == child) {
                return row;
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex index = view_.indexAt(view_.viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? child(index.row()) : nullptr;
    }

  private:
    QAbstractItemView& view_;
    mutable std::map<int, QAccessible::Id> items_;
};

QAccessibleInterface* ListFactory(const QString&, QObject* object)
{
    auto* view = qobject_cast<QAbstractItemView*>(object);
    return view != nullptr && view->property(kProperty).toBool() ? new ListAccess(*view) : nullptr;
}

} // namespace

void ExposeUnavailableItems(QAbstractItemView& view)
{
    static const bool installed = [] {
        QAccessible::installFactory(ListFactory);
        return true;
    }();
    (void)installed;
    view.setProperty(kProperty, true);
}

} // namespace aurex
