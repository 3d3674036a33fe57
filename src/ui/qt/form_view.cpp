#include "ui/qt/form_view.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include "ui/qt/form_access.h"
#include "ui/qt/port_list_access.h"
#include "ui/qt/progress_pacer.h"
#include "ui/qt/radio_pictures.h"
#include "ui/qt/translated.h"

namespace aurex {

namespace {

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

class PictureWidget : public QWidget
{
  public:
    PictureWidget(std::string name, QWidget* parent) : QWidget(parent), name_(std::move(name)) {}

  protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        PaintPicture(p, rect(), name_);
    }

  private:
    std::string name_;
};

} // namespace

PortItemDelegate::PortItemDelegate(std::function<PortItemLook(int, bool)> look, QObject* parent)
    : QStyledItemDelegate(parent), look_(std::move(look))
{
}

void PortItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const PortItemLook look = look_(index.row(), selected);
    QColor background = option.palette.color(QPalette::Base);
    if (look.background == ItemBackground::Highlight) {
        background = option.palette.color(QPalette::Highlight);
    } else if (look.background == ItemBackground::White) {
        background = Qt::white;
    }
    QColor text = option.palette.color(QPalette::Text);
    if (look.text == ItemText::Highlighted) {
        text = option.palette.color(QPalette::HighlightedText);
    } else if (look.text == ItemText::Grey) {
        text = QColor(128, 128, 128);
    }
    painter->save();
    painter->fillRect(option.rect, background);
    painter->setPen(text);
    painter->setFont(option.font);
    painter->drawText(option.rect.adjusted(3, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize PortItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(13, option.fontMetrics.height() + 3));
    return size;
}

FormView::FormView(FormModel& form, QWidget* root, GuardedCall guard)
    : form_(form), root_(root), guard_(std::move(guard))
{
    Build();
    form_.AddListener(this);
}

FormView::~FormView()
{
    form_.RemoveListener(this);
}

QWidget* FormView::WidgetFor(const Control& control) const
{
    const auto it = widgets_.find(&control);
    return it == widgets_.end() ? nullptr : it->second;
}

QMenu* FormView::MenuFor(const Control& control) const
{
    const auto it = menus_.find(&control);
    return it == menus_.end() ? nullptr : it->second;
}

QAction* FormView::ActionFor(const Control& control) const
{
    const auto it = actions_.find(&control);
    return it == actions_.end() ? nullptr : it->second;
}

void FormView::Build()
{
    // Menus first: tool buttons refer to them.
    for (Control* c : form_.Controls()) {
        if (c->Kind() == ControlKind::Menu) {
            auto* menu = new QMenu(ShownCaption(*c), root_);
            Describe(*c, *menu);
            menus_[c] = menu;
        } else if (c->Kind() == ControlKind::MenuItem && c->Parent() != nullptr) {
            QMenu* menu = menus_[c->Parent()];
            QAction* action = menu->addAction(MnemonicText(*c));
            Describe(*c, *action);
            action->setCheckable(c->Style().checkable);
            action->setChecked(c->Checked());
            actions_[c] = action;
            QObject::connect(action, &QAction::triggered, this, [this, c] { guard_([c] { c->Click(); }); });
        }
    }
    for (Control* c : form_.Controls()) {
        const ControlKind k = c->Kind();
        if (k == ControlKind::MenuBar || k == ControlKind::Menu || k == ControlKind::MenuItem ||
            k == ControlKind::Timer) {
            continue;
        }
        QWidget* parent = c->Parent() != nullptr ? WidgetFor(*c->Parent()) : root_;
        QWidget* w = Create(*c, parent != nullptr ? parent : root_);
        if (w == nullptr) {
            continue; // a menu of the menu bar: an action, kept in step as the menu items are
        }
        w->setObjectName(Text(c->Name()));
        widgets_[c] = w;
        SyncItems(*c);
        Sync(*c);
    }
    SyncForm();
    const auto widgetFor = [this](const Control& c) { return WidgetFor(c); };
    RelateLabels(form_, widgetFor);
    OrderTabs(form_, widgetFor);
    if (qobject_cast<QDialog*>(root_) == nullptr) {
        new DefaultButtonKeys(form_, widgetFor, *root_); // owned by the root
    }
}

QWidget* FormView::Create(Control& c, QWidget* parent)
{
    const ControlStyle& style = c.Style();
    QWidget* w = nullptr;
    switch (c.Kind()) {
    case ControlKind::ToolBar: {
        if (c.Parent() == nullptr) {
            auto* frame = new QFrame(parent);
            frame->setFrameShape(QFrame::NoFrame);
            w = frame;
        } else {
            // The File and Help buttons of the tool bar row, as a menu bar that screen readers
            // and the desktop know as one.
            auto* bar = new QMenuBar(parent);
            bar->setNativeMenuBar(false);
            w = bar;
        }
        break;
    }
    case ControlKind::ToolButton: {
        if (auto* menuBar = qobject_cast<QMenuBar*>(parent)) {
            const Control* menuControl = form_.Find(style.menu);
            if (QMenu* menu = menuControl != nullptr ? MenuFor(*menuControl) : nullptr; menu != nullptr) {
                menuBar->addMenu(menu);
                menu->menuAction()->setText(MnemonicText(c));
                Describe(c, *menu->menuAction());
                actions_[&c] = menu->menuAction();
            }
            return nullptr;
        }
        auto* b = new QToolButton(parent);
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        const Control* menuControl = style.menu.empty() ? nullptr : form_.Find(style.menu);
        if (QMenu* menu = menuControl != nullptr ? MenuFor(*menuControl) : nullptr; menu != nullptr) {
            b->setMenu(menu);
            b->setPopupMode(QToolButton::InstantPopup);
            b->setStyleSheet("QToolButton::menu-indicator { image: none; width: 0; }");
        }
        if (auto* bar = qobject_cast<QToolBar*>(parent)) {
            bar->addWidget(b);
        }
        w = b;
        break;
    }
    case ControlKind::SpeedButton: {
        auto* b = new QToolButton(parent);
        b->setAutoRaise(style.flat);
        QObject::connect(b, &QToolButton::clicked, this, [this, &c] { guard_([&c] { c.Click(); }); });
        w = b;
        break;
    }
    case ControlKind::Label: {
        auto* l = new QLabel(parent);
        l->setTextFormat(Qt::PlainText); // status texts and "<Blank>" are shown as they are
        l->setAlignment((style.alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        w = l;
        break;
    }
    case ControlKind::GroupBox:
        w = new QGroupBox(parent);
        break;
    case ControlKind::Panel: {
        auto* f = new QFrame(parent);
        f->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        w = f;
        break;
    }
    case ControlKind::Picture:
        w = new PictureWidget(c.Name(), parent);
        break;
    case ControlKind::ComboBox: {
        auto* box = new QComboBox(parent);
        box->setMaxVisibleItems(16);
        ExposeUnavailableItems(*box->view());
        QObject::connect(box, &QComboBox::activated, this, [this, &c](int index) {
            guard_([&c, index] { c.UserSelect(index); });
            Sync(c);
        });
        w = box;
        break;
    }
    case ControlKind::RadioButton: {
        auto* r = new QRadioButton(parent);
        r->setAutoExclusive(false); // the model keeps the pair exclusive
        QObject::connect(r, &QRadioButton::clicked, this, [this, &c] {
            guard_([&c] { c.Click(); });
            Sync(c);
        });
        w = r;
        break;
    }
    case ControlKind::Bevel: {
        auto* f = new QFrame(parent);
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        w = f;
        break;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        pacers_[&c] = new ProgressPacer(*bar, [bar] { ValueShown(*bar); }); // owned by the bar
        w = bar;
        break;
    }
    case ControlKind::Button: {
        auto* b = new QPushButton(parent);
        b->setAutoDefault(false);
        QObject::connect(b, &QPushButton::clicked, this, [this, &c] { guard_([&c] { c.Click(); }); });
        w = b;
        break;
    }
    case ControlKind::Edit: {
        auto* e = new QLineEdit(parent);
        if (style.passwordChar != 0) {
            e->setEchoMode(QLineEdit::Password);
            e->setStyleSheet(
                QString("QLineEdit { lineedit-password-character: %1; }").arg(int(style.passwordChar)));
        }
        QObject::connect(e, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
            guard_([&c, text] { c.UserEdit(text.toStdString()); });
        });
        w = e;
        break;
    }
    case ControlKind::MenuBar:
    case ControlKind::Menu:
    case ControlKind::MenuItem:
    case ControlKind::Timer:
        break;
    }
    if (style.bold) {
        QFont f = w->font();
        f.setBold(true);
        w->setFont(f);
    }
    if (!style.hint.empty()) {
        w->setToolTip(ShownText(c, style.hint));
    }
    GiveRole(c, *w);
    return w;
}

void FormView::Place(const Control& c)
{
    QWidget* w = WidgetFor(c);
    if (w == nullptr || c.Kind() == ControlKind::ToolButton) {
        return;
    }
    const Rect& r = c.Place();
    if (c.Kind() == ControlKind::Label && c.Style().alignRight && r.width > 0) {
        FitRightAlignedLabel(c, *static_cast<QLabel*>(w));
        return;
    }
    if (c.Kind() == ControlKind::Label) {
        if (r.width > 0) {
            ElideToWidth(c, *static_cast<QLabel*>(w), r.width);
        }
        w->adjustSize();
        const int width = r.width > 0 ? r.width : w->sizeHint().width();
        w->setGeometry(r.left, r.top, width, w->sizeHint().height());
        return;
    }
    if (c.Kind() == ControlKind::ToolBar && r.width >= form_.ClientWidth()) {
        // "Full width": follows the window.
        w->setGeometry(r.left, r.top, std::max(form_.Width(), form_.ClientWidth()), r.height);
        return;
    }
    w->setGeometry(r.left, r.top, r.width > 0 ? r.width : w->sizeHint().width(),
                   r.height > 0 ? r.height : w->sizeHint().height());
}

void FormView::ElideToWidth(const Control& c, QLabel& label, int width)
{
    // A long line (a path) keeps its start and its end; the whole of it is in the tooltip and,
    // for screen readers, in the name.
    const QString full = ShownCaption(c);
    const QString shown =
        full.contains(u'\n') ? full : label.fontMetrics().elidedText(full, Qt::ElideMiddle, width);
    if (label.text() != shown) {
        label.setText(shown);
    }
    label.setToolTip(shown != full            ? full
                     : c.Style().hint.empty() ? QString()
                                              : ShownText(c, c.Style().hint));
}

void FormView::FitRightAlignedLabel(const Control& c, QLabel& label)
{
    // A value shares its row with a heading on its left: it may use the room up to the
    // heading, and when a long value (a serial number) needs more, it is drawn a little smaller.
    const Rect& r = c.Place();
    const int right = r.left + r.width;
    int free = r.left;
    for (const Control* other : form_.Controls()) {
        if (other == &c || other->Parent() != c.Parent() || other->Kind() != ControlKind::Label ||
            other->Place().top != r.top || other->Place().left >= r.left) {
            continue;
        }
        if (QWidget* heading = WidgetFor(*other)) {
            free = std::max(free, other->Place().left + heading->sizeHint().width() + 6);
        }
    }
    QFont font = label.parentWidget() != nullptr ? label.parentWidget()->font() : label.font();
    const QString text = label.text();
    while (QFontMetrics(font).horizontalAdvance(text) > right - free && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    label.setFont(font);
    const int height =
        QFontMetrics(label.parentWidget() != nullptr ? label.parentWidget()->font() : font).height();
    label.setGeometry(free, r.top, right - free, height);
}

void FormView::SyncItems(const Control& c)
{
    auto* box = qobject_cast<QComboBox*>(WidgetFor(c));
    if (box == nullptr) {
        return;
    }
    QSignalBlocker block(box);
    box->clear();
    for (const std::string& item : c.Items()) {
        box->addItem(Text(item));
    }
    SyncHints(c);
}

void FormView::SyncHints(const Control& c)
{
    auto* box = qobject_cast<QComboBox*>(WidgetFor(c));
    const auto it = hints_.find(&c);
    if (box == nullptr || it == hints_.end()) {
        return;
    }
    for (int i = 0; i < box->count(); ++i) {
        box->setItemData(i, it->second(i), Qt::ToolTipRole);
    }
    SyncItemStates(c, *box);
}

void FormView::SyncItemStates(const Control& c, QComboBox& box)
{
    const auto it = unavailable_.find(&c);
    if (it == unavailable_.end()) {
        return;
    }
    for (int i = 0; i < box.count(); ++i) {
        const std::string reason = it->second(i);
        box.setItemData(i, !reason.empty(), kItemUnavailableRole);
        box.setItemData(i, reason.empty() ? QString() : ShownText(c, {"Unavailable: %1", {reason}}),
                        Qt::AccessibleDescriptionRole);
    }
}

void FormView::Sync(const Control& c)
{
    QWidget* w = WidgetFor(c);
    if (w == nullptr) {
        return;
    }
    const QString caption = ShownCaption(c);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(caption);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(caption);
    } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
        r->setText(MnemonicText(c));
        r->setChecked(c.Checked());
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
        b->setText(MnemonicText(c));
        b->setDefault(c.IsDefault());
    } else if (auto* t = qobject_cast<QToolButton*>(w)) {
        t->setText(MnemonicText(c));
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != caption) {
            e->setText(caption);
        }
    } else if (qobject_cast<QProgressBar*>(w) != nullptr) {
        pacers_.at(&c)->Show(c.Min(), c.Max(), c.Position());
    } else if (auto* box = qobject_cast<QComboBox*>(w)) {
        QSignalBlocker block(box);
        SyncItemStates(c, *box);
        box->setCurrentIndex(c.Selection());
        box->view()->viewport()->update();
        box->update();
    }
    w->setEnabled(c.Enabled());
    // An empty label would be read out by the name of its group.
    w->setVisible(c.Visible() && (c.Kind() != ControlKind::Label || !caption.isEmpty()));
    Describe(c, *w);
    Place(c);
}

void FormView::SyncForm()
{
    root_->setWindowTitle(ShownCaption(form_));
    root_->setFixedSize(form_.Width(), form_.ClientHeight());
    for (const auto& [control, widget] : widgets_) {
        if (control->Kind() == ControlKind::ToolBar) {
            Place(*control);
        }
    }
}

void FormView::OwnerDrawList(const Control& list, std::function<PortItemLook(int, bool)> look,
                             std::function<QString(int)> hint, std::function<std::string(int)> unavailable)
{
    auto* box = qobject_cast<QComboBox*>(WidgetFor(list));
    if (box == nullptr) {
        return;
    }
    box->setItemDelegate(new PortItemDelegate(std::move(look), box));
    hints_[&list] = std::move(hint);
    unavailable_[&list] = std::move(unavailable);
    SyncItems(list);
    Sync(list);
}

void FormView::ControlChanged(const FormModel&, const Control* control, ControlProperty what)
{
    if (control == nullptr) {
        if (what == ControlProperty::Caption || what == ControlProperty::Geometry) {
            SyncForm();
        }
        return;
    }
    if (const auto it = actions_.find(control); it != actions_.end()) {
        it->second->setText(MnemonicText(*control));
        it->second->setEnabled(control->Enabled());
        it->second->setVisible(control->Visible());
        it->second->setChecked(control->Checked());
        return;
    }
    if (what == ControlProperty::Items) {
        SyncItems(*control);
    } else if (what == ControlProperty::Appearance) {
        SyncHints(*control); // a new look at the ports may have a new reason for one
    }
    if (what == ControlProperty::Focus) {
        if (QWidget* w = WidgetFor(*control)) {
            w->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    Sync(*control);
    if (QWidget* w = WidgetFor(*control)) {
        Announce(*control, *w, what);
    }
}

} // namespace aurex
