// The window through Qt's accessibility interface and the keyboard alone: names and descriptions
// for screen readers, the Tab order, Enter, Esc and the Alt keys, and the announcements of the
// status line and the progress bar.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "history/update_history.h"
#include "support/recording_host.h"
#include "ui/qt/form_access.h"
#include "ui/qt/history_dialog.h"
#include "ui/qt/main_window.h"
#include "ui/qt/progress_pacer.h"
#include "ui/qt/restore_dialog.h"

namespace aurex {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "window_access_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

MainFormEnvironment Env(std::vector<int> ports = {1}, std::uint8_t type = 0, std::int8_t series = 4)
{
    MainFormEnvironment env = testing::FakeEnvironment(std::move(ports), "/opt/Unit_Release_3_0_9", 1);
    env.blobs = testing::RecordBlobs(1, 1, series, type);
    return env;
}

// An Application_Boot set of series 5: the Application/Boot choice is shown.
MainFormEnvironment ChoiceEnv()
{
    return Env({1}, 3, 5);
}

// Where a key typed now goes.
QWidget* Focused(QWidget& window)
{
    QWidget* focused = QApplication::focusWidget();
    return focused != nullptr ? focused : &window;
}

void ShowActive(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window, 15000));
}

// Real time, and long: a busy machine may leave this process without the processor for seconds.
bool WaitFor(const std::function<bool()>& done, int ms = 15000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    return done();
}

// Sends `key` to the next popup menu or modal box as soon as it is up, as a user would answer it;
// notes the window title (boxes) or menu title it was sent to.
void PressWhenUp(Qt::Key key, std::shared_ptr<QString> seen, QDeadlineTimer until = QDeadlineTimer(15000))
{
    QTimer::singleShot(5, [=] {
        QWidget* target = QApplication::activePopupWidget();
        if (target == nullptr) {
            target = QApplication::activeModalWidget();
        }
        if (target == nullptr) {
            if (!until.hasExpired()) {
                PressWhenUp(key, seen, until);
            }
            return;
        }
        auto* menu = qobject_cast<QMenu*>(target);
        *seen = menu != nullptr ? menu->title() : target->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(target)) {
            *seen += u'|' + box->text();
        }
        QTest::keyClick(target, key);
    });
}

void Walk(QAccessibleInterface* iface, std::vector<QAccessibleInterface*>& all)
{
    all.push_back(iface);
    for (int i = 0; i < iface->childCount(); ++i) {
        if (QAccessibleInterface* child = iface->child(i)) {
            Walk(child, all);
        }
    }
}

bool Interactive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::RadioButton:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::ProgressBar:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::EditableText:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

class WindowAccessTest : public ::testing::Test
{
  protected:
    void SetUp() override { App(); }
    // A menu a failed case left open would keep the next test's window from becoming active.
    void TearDown() override
    {
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }
};

TEST_F(WindowAccessTest, EveryControlScreenReadersReachHasANameAndADescription)
{
    MainWindow window(ChoiceEnv());
    window.show();
    window.Form().m_ToggleVersionInfoSpeedButton.Click(); // the version panel open: Retrieve shown
    std::vector<QAccessibleInterface*> all;
    Walk(QAccessible::queryAccessibleInterface(&window), all);
    std::set<QString> names;
    int interactive = 0;
    for (QAccessibleInterface* iface : all) {
        if (!Interactive(iface->role()) || iface->state().invisible) {
            continue;
        }
        ++interactive;
        const QString what = iface->object() != nullptr ? iface->object()->objectName() : QString();
        EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty()) << what.toStdString();
        // Qt reads the menus of a menu bar by their names alone.
        if (iface->parent()->role() != QAccessible::MenuBar) {
            EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty()) << what.toStdString();
        }
        // On Linux Qt reads a list by its current item; its own name and its label come beside.
        auto* widget = qobject_cast<QWidget*>(iface->object());
        names.insert(iface->role() == QAccessible::ComboBox && widget != nullptr
                         ? widget->accessibleName()
                         : iface->text(QAccessible::Name));
    }
    EXPECT_GE(interactive, 9);
    for (const char* name : {"COM port", "Application", "Boot", "Start", "Retrieve", "Toggle Version Info",
                             "File", "Help", "Progress"}) {
        EXPECT_THAT(names, Contains(QString::fromLatin1(name)));
    }

    QAccessibleInterface* ports =
        QAccessible::queryAccessibleInterface(window.View().WidgetFor(window.Form().m_ComportComboBox));
    std::vector<QString> labels;
    for (const auto& [label, relation] : ports->relations(QAccessible::Label)) {
        labels.push_back(label->text(QAccessible::Name));
    }
    EXPECT_THAT(labels, Contains(QString("COM:")));

    // What a screen reader meets besides: File and Help in a menu bar, the status line a status
    // bar, the radio's picture a named graphic, no empty label read out as its group's title,
    // and each port the list greys told apart as unavailable, with the reason.
    std::map<QAccessible::Role, QString> shown;
    for (QAccessibleInterface* iface : all) {
        if (!iface->state().invisible) {
            EXPECT_NE(iface->text(QAccessible::Name),
                      iface->role() == QAccessible::Grouping ? "" : "Transfer");
            shown[iface->role()] += iface->text(QAccessible::Name) + u'|';
        }
    }
    EXPECT_EQ(shown[QAccessible::MenuBar], "|");
    EXPECT_EQ(shown[QAccessible::MenuItem], "File|Help|");
    EXPECT_EQ(shown[QAccessible::StatusBar], "Idle|The radio may be disconnected.|");
    EXPECT_EQ(shown[QAccessible::Graphic], "Picture of the mobile radio|");
    QAccessibleInterface* list = ports->child(0);
    ASSERT_EQ(list->childCount(), 64);
    EXPECT_FALSE(list->child(0)->state().disabled);
    EXPECT_EQ(list->child(0)->text(QAccessible::Description), "");
    EXPECT_TRUE(list->child(1)->state().disabled);
    EXPECT_EQ(list->child(1)->text(QAccessible::Name), "COM 2");
    EXPECT_EQ(list->child(1)->text(QAccessible::Description), "Unavailable: no device");

    // The status line is read by its text, and says what it is.
    QAccessibleInterface* status =
        QAccessible::queryAccessibleInterface(window.View().WidgetFor(window.Form().m_StatusLabel));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(QAccessible::Name), "Idle");
    EXPECT_EQ(status->text(QAccessible::Description), "Status of the update");

    // The menus the tool buttons open: every item named, and told what it does.
    int items = 0;
    for (const Control* control : {&window.Form().m_FileMenuItem, &window.Form().m_HelpMenuItem}) {
        QMenu* menu = window.View().MenuFor(*control);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(menu);
        ASSERT_NE(iface, nullptr);
        EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty());
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface* item = iface->child(i);
            ASSERT_EQ(item->role(), QAccessible::MenuItem);
            EXPECT_FALSE(item->text(QAccessible::Name).contains(u'&'))
                << item->text(QAccessible::Name).toStdString();
            ++items;
        }
        for (QAction* action : menu->actions()) {
            EXPECT_FALSE(action->statusTip().isEmpty()) << action->text().toStdString();
        }
    }
    EXPECT_EQ(items, 9);
}

TEST_F(WindowAccessTest, TabVisitsTheControlsInTheOrderOfTheWork)
{
    struct Case
    {
        bool panelOpen;
        std::vector<QString> order; // after the port list, which has the focus at first
    };
    const std::vector<Case> cases = {
        {false,
         {"m_ApplicationRadioButton", "m_BootRadioButton", "m_StartButton", "m_ToggleVersionInfoSpeedButton",
          "m_ComportComboBox"}},
        {true,
         {"m_ApplicationRadioButton", "m_BootRadioButton", "m_StartButton", "m_RetrieveVersionInfoButton",
          "m_ToggleVersionInfoSpeedButton", "m_ComportComboBox"}},
    };
    for (const Case& c : cases) {
        MainWindow window(ChoiceEnv());
        ShowActive(window);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), "m_ComportComboBox");
        if (c.panelOpen) {
            window.Form().m_ToggleVersionInfoSpeedButton.Click();
        }
        std::vector<QString> visited;
        for (std::size_t i = 0; i < c.order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.push_back(QApplication::focusWidget()->objectName());
        }
        EXPECT_THAT(visited, ElementsAreArray(c.order)) << "panel open: " << c.panelOpen;
        // The chain Qt itself keeps agrees with the keys.
        QWidget* next = window.View().WidgetFor(window.Form().m_StartButton)->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisible()) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next->objectName(), c.order[3]);
    }
}

TEST_F(WindowAccessTest, EnterStartsAndEscAndEnterAnswerTheBoxes)
{
    MainWindow window(Env({})); // no port: Start ends in a box that says so
    ShowActive(window);
    int dialogs = 0;
    window.Host().onDialogShown = [&](ModelDialog& dialog) {
        ++dialogs;
        QWidget* edit = dialog.focusWidget();
        ASSERT_NE(qobject_cast<QLineEdit*>(edit), nullptr);
        EXPECT_EQ(edit->accessibleName(), "Password");
        QTest::keyClicks(edit, "brontel");
        QTest::keyClick(edit, Qt::Key_Return); // OK is the dialog's default button
    };
    const QString portBox = "COM Port|Selected COM port is in use or not available.";
    std::vector<QObject*> alerts; // a failed run is an alert from the status line
    WatchAnnouncements([&](const QAccessibleEvent& e) {
        if (e.type() == QAccessible::Alert) {
            alerts.push_back(e.object());
        }
    });

    // Enter in the port list presses Start, the default button.
    auto seen = std::make_shared<QString>();
    PressWhenUp(Qt::Key_Escape, seen);
    QTest::keyClick(Focused(window), Qt::Key_Return);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(window.Form().m_PasswordAccepted);
    EXPECT_EQ(*seen, portBox);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    WatchAnnouncements({});
    EXPECT_THAT(alerts, ElementsAreArray({window.View().WidgetFor(window.Form().m_StatusLabel)}));
    // A desktop gives the window back the activation when the box closes; offscreen does not.
    ShowActive(window);

    // Alt+S presses Start wherever the focus is; Enter closes the box.
    seen = std::make_shared<QString>();
    PressWhenUp(Qt::Key_Return, seen);
    QTest::keyClick(Focused(window), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([&] { return !seen->isEmpty(); }));
    EXPECT_EQ(*seen, portBox);
    EXPECT_TRUE(WaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(window.Form().m_StatusLabel.Caption(), "The selected COM port is in use or not available.");
}

TEST_F(WindowAccessTest, AltLettersChooseWhatToLoadAndOpenTheMenus)
{
    MainWindow window(ChoiceEnv());
    ShowActive(window);
    TCodeUpdaterMainDispForm& form = window.Form();
    struct Case
    {
        Qt::Key key;
        const Control* checked; // the choice it makes, or null for a menu
        QString menu;           // the menu it opens
    };
    const std::vector<Case> cases = {
        {Qt::Key_B, &form.m_BootRadioButton, {}},
        {Qt::Key_A, &form.m_ApplicationRadioButton, {}},
        {Qt::Key_F, nullptr, "&File"},
        {Qt::Key_H, nullptr, "&Help"},
    };
    for (const Case& c : cases) {
        auto seen = std::make_shared<QString>();
        if (c.checked == nullptr) {
            PressWhenUp(Qt::Key_Escape, seen); // Esc closes the menu again
        }
        QTest::keyClick(Focused(window), c.key, Qt::AltModifier);
        if (c.checked != nullptr) {
            EXPECT_TRUE(WaitFor([&] { return c.checked->Checked(); })) << c.key;
        } else {
            EXPECT_TRUE(WaitFor([&] { return !seen->isEmpty(); })) << c.key;
            EXPECT_EQ(*seen, c.menu);
            EXPECT_TRUE(WaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
        }
    }
    EXPECT_FALSE(form.m_BootRadioButton.Checked());
}

TEST_F(WindowAccessTest, TheProgramsOwnDialogsAreNamedAndEscClosesThem)
{
    QTemporaryDir dir;
    std::string warning;
    std::string error;
    auto history = UpdateHistory::Open(HistoryFileIn(dir.path().toStdString()), warning, error);
    ASSERT_TRUE(history) << error;
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.push_back(std::make_unique<HistoryDialog>(*history, nullptr));
    dialogs.push_back(std::make_unique<RestoreDialog>(dir.path().toStdString(), nullptr));
    for (const auto& dialog : dialogs) {
        dialog->show();
        std::vector<QAccessibleInterface*> all;
        Walk(QAccessible::queryAccessibleInterface(dialog.get()), all);
        EXPECT_FALSE(all.front()->text(QAccessible::Name).isEmpty());
        int interactive = 0;
        for (QAccessibleInterface* iface : all) {
            if (Interactive(iface->role()) && !iface->state().invisible) {
                ++interactive;
                EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty())
                    << iface->object()->objectName().toStdString();
                EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty())
                    << iface->object()->objectName().toStdString();
            }
        }
        EXPECT_GE(interactive, 2);
        ShowActive(*dialog);
        QTest::keyClick(Focused(*dialog), Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
}

TEST_F(WindowAccessTest, TheStatusIsAStatusBarAndTheBarTakesAtMostFourValuesASecond)
{
    MainWindow window(Env());
    window.show();
    struct Seen
    {
        QAccessible::Event type;
        QObject* object;
        int value;
    };
    std::vector<Seen> events;
    WatchAnnouncements([&](const QAccessibleEvent& e) {
        const int value = e.type() == QAccessible::ValueChanged
                              ? static_cast<const QAccessibleValueChangeEvent&>(e).value().toInt()
                              : -1;
        events.push_back({e.type(), e.object(), value});
    });

    TCodeUpdaterMainDispForm& form = window.Form();
    QWidget* status = window.View().WidgetFor(form.m_StatusLabel);
    auto* bar = qobject_cast<QProgressBar*>(window.View().WidgetFor(form.m_ProgressBar));
    form.ShowStatus("Checking target radio..."); // a status bar's new name, no alert
    QTest::qWait(ProgressPacer::kIntervalMs);    // the bar's first value at once
    for (int position = 1; position <= 100; ++position) {
        form.m_ProgressBar.SetPosition(position);
    }
    EXPECT_EQ(bar->value(), 1); // the rest waits its turn; the last arrives
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 100; }, 2000));
    WatchAnnouncements({});

    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].type, QAccessible::ValueChanged);
    EXPECT_EQ(events[0].object, bar);
    EXPECT_EQ(events[1].value, 100);
    EXPECT_EQ(status->accessibleName(), "Checking target radio...");
}

TEST_F(WindowAccessTest, ALongBackupPathKeepsItsEndsItsWholeInTheTooltipAndOpensItsFolder)
{
    MainWindow window(Env());
    window.show();
    TCodeUpdaterMainDispForm& form = window.Form();
    const std::string path = "/home/technician/.local/share/Aurex Code Updater/codeplug-backups/"
                             "8600-SN0042-2026-12-09T01-02-03.codeplug";
    form.m_CodeplugBackupPath = path;
    form.m_CodeplugBackupLabel.SetCaption({kCodeplugBackupLabelText, {UiText::Verbatim(path)}});
    auto* label = qobject_cast<QLabel*>(window.View().WidgetFor(form.m_CodeplugBackupLabel));
    const QString whole = QString::fromStdString(form.m_CodeplugBackupLabel.Caption());
    EXPECT_TRUE(label->text().startsWith("Codeplug backup: /")) << label->text().toStdString();
    EXPECT_TRUE(label->text().contains(QChar(0x2026)));
    EXPECT_TRUE(label->text().endsWith(".codeplug")) << label->text().toStdString();
    EXPECT_LT(label->text().size(), whole.size());
    EXPECT_EQ(label->toolTip(), whole);
    EXPECT_EQ(label->accessibleName(), whole);
    QString opened;
    window.Host().openFolder = [&](const QString& folder) { opened = folder; };
    form.m_OpenBackupFolderButton.SetVisible(true);
    QTest::mouseClick(window.View().WidgetFor(form.m_OpenBackupFolderButton), Qt::LeftButton);
    EXPECT_EQ(opened, "/home/technician/.local/share/Aurex Code Updater/codeplug-backups");
}

} // namespace
} // namespace aurex
