#pragma once

// The port list's items as screen readers meet them: each item is told apart as unavailable, with
// the reason, as it is greyed on the screen. Qt's own list items are always exposed as enabled,
// and a disabled item could no longer be chosen at all.

class QAbstractItemView;

namespace aurex {

// An item's data under this role is true while the item is unavailable; its
// Qt::AccessibleDescriptionRole says why.
inline constexpr int kItemUnavailableRole = 0x0100 + 17; // Qt::UserRole + 17

// Gives `view` the accessible items above (the view of a combo box's drop-down list).
void ExposeUnavailableItems(QAbstractItemView& view);

} // namespace aurex
