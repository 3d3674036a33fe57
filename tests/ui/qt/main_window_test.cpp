#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "support/recording_host.h"
#include "ui/qt/main_window.h"

namespace aurex {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "main_window_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

struct SeenBox
{
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
};

// Each test has its own generation, so that a watcher left from an earlier test never answers.
int g_generation = 0;

void WatchForBox(QMessageBox::StandardButton button, std::shared_ptr<SeenBox> seen, int generation,
                 int triesLeft)
{
    QTimer::singleShot(5, [=] {
        if (generation != g_generation) {
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (triesLeft > 0) {
                WatchForBox(button, seen, generation, triesLeft - 1);
            }
            return;
        }
        seen->text = box->text();
        seen->caption = box->windowTitle();
        seen->icon = box->icon();
        seen->seen = true;
        box->button(button)->click();
    });
}

// Answers the next message box with `button` as soon as it is up, and notes what it said.
std::shared_ptr<SeenBox> AnswerNextBox(QMessageBox::StandardButton button)
{
    auto seen = std::make_shared<SeenBox>();
    WatchForBox(button, seen, g_generation, 1000);
    return seen;
}

template <typename W> W* Child(QWidget& window, const char* name)
{
    W* w = window.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

MainFormEnvironment Env(std::vector<int> ports = {1}, std::uint8_t type = 0, std::int8_t series = 4)
{
    MainFormEnvironment env = testing::FakeEnvironment(std::move(ports), "/opt/Unit_Release_3_0_9", 1);
    env.blobs = testing::RecordBlobs(1, 1, series, type);
    return env;
}

class MainWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        App();
        ++g_generation;
    }
};

TEST_F(MainWindowTest, OpensCollapsedAndTheToggleButtonWidensIt)
{
    MainWindow window(Env());
    window.show();
    EXPECT_EQ(window.windowTitle(), "Aurex Code Updater");
    EXPECT_EQ(window.width(), 417);
    EXPECT_EQ(window.height(), 460);
    EXPECT_EQ(Child<QLabel>(window, "m_NameLabel")->text(), "Name: Unit_Release_3_0_9");
    EXPECT_EQ(Child<QLabel>(window, "m_TargetReleaseLabel")->text(), "3.0 9");

    auto* toggle = Child<QToolButton>(window, "m_ToggleVersionInfoSpeedButton");
    EXPECT_EQ(toggle->text(), ">>");
    EXPECT_EQ(toggle->toolTip(), "Toggle Version Info");
    auto* panel = Child<QWidget>(window, "m_TargetVersionInfoGroupBox");
    EXPECT_FALSE(panel->isVisible());
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(window.width(), 695);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(toggle->text(), "<<");
    EXPECT_EQ(Child<QLabel>(window, "FileVersionLabel")->text(), "<Blank>"); // plain text, not markup
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(window.width(), 417);
    EXPECT_EQ(toggle->text(), ">>");
}

TEST_F(MainWindowTest, HelpAboutShowsOurAboutBox)
{
    MainWindow window(Env());
    window.show();
    QAction* help = window.View().ActionFor(window.Form().ToolButton9); // Help in the menu bar
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text(), "&Help");
    ASSERT_NE(help->menu<QMenu*>(), nullptr);
    EXPECT_TRUE(Child<QMenuBar>(window, "MenuToolBar")->actions().contains(help));
    QAction* about = window.View().ActionFor(window.Form().m_HelpAboutMenuItem);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(help->menu<QMenu*>()->actions().contains(about));

    QString name;
    QString version;
    QString caption;
    window.Host().onDialogShown = [&](ModelDialog& dialog) {
        caption = dialog.windowTitle();
        name = Child<QLabel>(dialog, "NameLabel")->text();
        version = Child<QLabel>(dialog, "VersionLabel")->text();
        QTest::mouseClick(Child<QPushButton>(dialog, "OKButton"), Qt::LeftButton);
    };
    about->trigger();
    EXPECT_EQ(caption, "About");
    EXPECT_EQ(name, "Aurex Code Updater");
    EXPECT_EQ(version, "Version 1.2.5");
}

TEST_F(MainWindowTest, PasswordTypedIntoTheDialogStartsTheRun)
{
    MainWindow window(Env({}));
    window.show();
    bool echoHidden = false;
    bool editFocused = false;
    window.Host().onDialogShown = [&](ModelDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Radio Code Update - Enter Password");
        auto* edit = Child<QLineEdit>(dialog, "m_PasswordEdit");
        echoHidden = edit->echoMode() == QLineEdit::Password;
        editFocused = dialog.focusWidget() == edit;
        QTest::keyClicks(edit, " brontel ");
        QTest::keyClick(edit, Qt::Key_Escape); // Esc cancels; only the text decides
    };
    const auto portBox = AnswerNextBox(QMessageBox::Ok);
    QTest::mouseClick(Child<QPushButton>(window, "m_StartButton"), Qt::LeftButton);
    EXPECT_TRUE(echoHidden);
    EXPECT_TRUE(editFocused);
    EXPECT_TRUE(window.Form().m_PasswordAccepted);
    EXPECT_TRUE(portBox->seen);
    EXPECT_EQ(portBox->text, "Selected COM port is in use or not available.");
    EXPECT_EQ(portBox->caption, "COM Port");
    EXPECT_EQ(portBox->icon, QMessageBox::Critical);
    EXPECT_EQ(Child<QLabel>(window, "m_StatusLabel")->text(),
              "The selected COM port is in use or not available.");
    EXPECT_EQ(Child<QPushButton>(window, "m_StartButton")->text(), "&Start"); // S is its Alt key
}

TEST_F(MainWindowTest, PortListGreysUnavailablePortsAndSkipsToAnAvailableOne)
{
    MainWindow window(Env({3, 17}));
    window.show();
    auto* box = Child<QComboBox>(window, "m_ComportComboBox");
    ASSERT_EQ(box->count(), 64);
    EXPECT_EQ(box->itemText(0), "COM 1");
    EXPECT_FALSE(box->itemData(16, Qt::ToolTipRole).toString().isEmpty()); // device path hint

    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down); // the user moves to COM 2, which is absent
    EXPECT_EQ(box->currentIndex(), 2);
    EXPECT_EQ(window.Form().m_ComportComboBox.Selection(), 2);

    // Draw items as the popup list would: absent ports grey, available ones in the text colour.
    auto textColours = [&](int row) {
        QImage image(80, 18, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.palette = box->palette();
        option.font = box->font();
        option.fontMetrics = QFontMetrics(box->font());
        box->itemDelegate()->paint(&painter, option, box->model()->index(row, 0));
        painter.end();
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
            }
        }
        return darkest;
    };
    EXPECT_GE(textColours(0), 110); // grey text: nothing darker than mid grey
    EXPECT_LT(textColours(2), 80);  // normal text is dark
}

TEST_F(MainWindowTest, ClosingDuringARunAsksAndNoKeepsItRunning)
{
    MainWindow window(Env());
    window.show();
    window.Form().BeginUpdateRun();
    const auto box = AnswerNextBox(QMessageBox::No);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(box->seen);
    EXPECT_EQ(box->text, "Update in progress.  Are you sure you want to quit?");
    EXPECT_EQ(box->caption, "Confirm");
    EXPECT_EQ(box->icon, QMessageBox::Question);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Child<QPushButton>(window, "m_StartButton")->text(), "&Stop");
    EXPECT_FALSE(Child<QComboBox>(window, "m_ComportComboBox")->isEnabled());

    const auto yes = AnswerNextBox(QMessageBox::Yes);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(yes->seen);
    EXPECT_FALSE(window.Form().m_UpdateInProgress);
}

TEST_F(MainWindowTest, FileExitClosesAnIdleWindowWithoutAsking)
{
    MainWindow window(Env());
    window.show();
    window.View().ActionFor(window.Form().m_FileExitMenuItem)->trigger();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, AnEscapedErrorIsShownAndTheWindowRunsOn)
{
    MainWindow window(Env());
    window.show();
    window.Form().m_HelpAboutMenuItem.OnClick = [] { throw std::runtime_error("Disk full"); };
    const auto box = AnswerNextBox(QMessageBox::Ok);
    window.View().ActionFor(window.Form().m_HelpAboutMenuItem)->trigger();
    EXPECT_TRUE(box->seen);
    EXPECT_EQ(box->text, "Disk full");
    EXPECT_EQ(box->caption, "Aurex Code Updater");
    EXPECT_EQ(box->icon, QMessageBox::Critical);
    QTest::mouseClick(Child<QToolButton>(window, "m_ToggleVersionInfoSpeedButton"), Qt::LeftButton);
    EXPECT_EQ(window.width(), 695);
}

TEST_F(MainWindowTest, ApplicationAndBootButtonsStayExclusive)
{
    MainWindow window(Env({1}, 3, 5));
    window.show();
    auto* application = Child<QRadioButton>(window, "m_ApplicationRadioButton");
    auto* boot = Child<QRadioButton>(window, "m_BootRadioButton");
    EXPECT_TRUE(application->isVisible());
    EXPECT_TRUE(application->isChecked());
    QTest::mouseClick(boot, Qt::LeftButton);
    EXPECT_TRUE(boot->isChecked());
    EXPECT_FALSE(application->isChecked());
    QTest::mouseClick(boot, Qt::LeftButton); // a second click leaves it chosen
    EXPECT_TRUE(boot->isChecked());
    EXPECT_TRUE(window.Form().m_BootRadioButton.Checked());
    EXPECT_FALSE(window.Form().m_ApplicationRadioButton.Checked());
}

TEST_F(MainWindowTest, ChoiceHiddenForSeriesFourAndStatusAndProgressFollowTheModel)
{
    MainWindow window(Env({1}, 3, 4));
    window.show();
    EXPECT_FALSE(Child<QRadioButton>(window, "m_BootRadioButton")->isVisible());
    EXPECT_FALSE(Child<QLabel>(window, "m_UpgradeTypeLabel")->isVisible());
    window.Form().ShowStatus("Checking target radio...");
    EXPECT_EQ(Child<QLabel>(window, "m_StatusLabel")->text(), "Checking target radio...");
    window.Form().StartTimedProgress(200);
    window.Form().m_ProgressBar.SetPosition(37);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Child<QProgressBar>(window, "m_ProgressBar")->value() >= 37; }));
    window.Form().StopTimedProgress();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Child<QProgressBar>(window, "m_ProgressBar")->value() == 100; }));
}

} // namespace
} // namespace aurex
