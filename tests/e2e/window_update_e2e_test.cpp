// The updater's Qt window, offscreen, updating the simulated radio over its pseudo-terminal: the
// real widgets clicked and typed into, the real password dialog and message boxes answered.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

#include "app/termination_signals.h"
#include "e2e_support.h"
#include "folder_blobs.h"
#include "image_store/working_folder.h"
#include "link/clock.h"
#include "programming/programming_timeouts.h"
#include "support/pty_pair.h"
#include "ui/qt/form_access.h"
#include "ui/qt/main_window.h"

namespace aurex::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "window_update_e2e_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        a->setQuitOnLastWindowClosed(false);
        return a;
    }();
    return *app;
}

struct SeenBox
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// The window of an updater carrying `set`, its COM 1 on the simulated radio, writing into a
// scratch working folder, with the status texts it shows recorded.
class WindowBench : public ControlListener
{
  public:
    WindowBench(const char* set, const std::string& programPath, std::vector<std::string> radioSettings)
        : radio(std::move(radioSettings)), com_(1, radio.Device())
    {
        App();
        Clock::SetScale(kTimeScale);
        ::setenv("XDG_DATA_HOME", data.path.c_str(), 1);
        MainFormEnvironment env;
        env.blobs = std::make_shared<FolderBlobs>(set);
        env.programPath = programPath;
        env.workingFolder = std::make_shared<DiskFolder>(work.path);
        window = std::make_unique<MainWindow>(env);
        window->Form().AddListener(this);
        window->Host().onDialogShown = [this](ModelDialog& dialog) { AnswerPassword(dialog); };
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    ~WindowBench() override
    {
        window->Form().RemoveListener(this);
        window.reset();
        Clock::SetScale(1.0);
    }

    TCodeUpdaterMainDispForm& Form() { return window->Form(); }
    template <typename W> W* Widget(const Control& control)
    {
        return qobject_cast<W*>(window->View().WidgetFor(control));
    }
    void Click(const Control& control) { QTest::mouseClick(Widget<QWidget>(control), Qt::LeftButton); }

    // What the user types into the next password dialogs and which button ends each.
    struct Typing
    {
        QString text;
        bool ok = true;
    };
    std::vector<Typing> passwords;
    int dialogsShown = 0;

    // The next message box is answered with `button`, noted in `boxes`; or with Enter after
    // `boxHoldMs` real ms when that is set.
    void AnswerBoxesWith(QMessageBox::StandardButton button) { boxButton_ = button; }
    std::vector<SeenBox> boxes;
    int boxHoldMs = 0;
    int boxesAnswered = 0;

    // Runs `action` (re-entrantly, inside the run) the first time the status line shows `status`.
    void At(const std::string& status, std::function<void()> action) { actions_[status] = std::move(action); }
    std::vector<std::string> statuses;
    // What the step line, the disconnect line and the window's title showed, in order.
    std::vector<std::string> steps;
    std::vector<std::string> disconnectLines;
    std::vector<std::string> titles;

    void ControlChanged(const FormModel&, const Control* control, ControlProperty what) override
    {
        if (what != ControlProperty::Caption) {
            return;
        }
        if (control == nullptr) {
            titles.push_back(window->windowTitle().toStdString());
            return;
        }
        if (control == &window->Form().m_RunStepLabel) {
            steps.push_back(Widget<QLabel>(*control)->text().toStdString());
            return;
        }
        if (control == &window->Form().m_DisconnectLabel) {
            disconnectLines.push_back(Widget<QLabel>(*control)->text().toStdString());
            return;
        }
        if (control == &window->Form().m_RunTimeLabel) {
            ShootWhileRunning();
            return;
        }
        if (control != &window->Form().m_StatusLabel) {
            return;
        }
        statuses.push_back(control->Caption());
        if (const auto it = actions_.find(control->Caption()); it != actions_.end()) {
            auto action = std::move(it->second);
            actions_.erase(it);
            QTimer::singleShot(0, window.get(), std::move(action)); // dropped with the window
        }
        if (boxButton_ != QMessageBox::NoButton) {
            WatchForBox();
        }
    }

    // For the documentation: with AUREX_SCREENSHOT_RUNNING=<file>, the window once the code
    // download is well under way and the whole run's time left is measured.
    void ShootWhileRunning()
    {
        const char* shot = std::getenv("AUREX_SCREENSHOT_RUNNING");
        const Control& bar = window->Form().m_ProgressBar;
        const int span = std::max(1, bar.Max() - bar.Min());
        if (shot == nullptr || *shot == '\0' || shotTaken_ ||
            (bar.Position() - bar.Min()) * 100 / span < 40 ||
            window->Form().m_RunStepLabel.Caption().find("code download") == std::string::npos ||
            window->Form().m_RunTimeLabel.Caption().find("left") == std::string::npos) {
            return;
        }
        shotTaken_ = true;
        const QString file = QString::fromLocal8Bit(shot);
        QTimer::singleShot(0, window.get(), [this, file] { EXPECT_TRUE(window->grab().save(file)); });
    }

    void WatchForBox()
    {
        QTimer::singleShot(10, window.get(), [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box == heldBox_) {
                return; // its answer is on the way
            }
            if (box != nullptr) {
                boxes.push_back({box->windowTitle(), box->text(), box->icon()});
                heldBox_ = box;
                // For the documentation: with AUREX_SCREENSHOT_STOP=<file>, the window and the
                // first question over it, once drawn.
                const char* shot = std::getenv("AUREX_SCREENSHOT_STOP");
                const bool shoot = shot != nullptr && *shot != '\0' && !shotTaken_;
                QTimer::singleShot(shoot ? 500 : boxHoldMs, box, [this, box, shoot, shot] {
                    if (shoot) {
                        shotTaken_ = true;
                        const QRect area = window->frameGeometry().united(box->frameGeometry());
                        EXPECT_TRUE(box->screen()
                                        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                        .save(QString::fromLocal8Bit(shot)));
                    }
                    ++boxesAnswered;
                    if (boxHoldMs > 0) {
                        QTest::keyClick(box, Qt::Key_Return);
                    } else {
                        box->button(boxButton_)->click();
                    }
                });
            } else if (boxButton_ != QMessageBox::NoButton && window->Form().m_UpdateInProgress) {
                WatchForBox();
            }
        });
    }

    SimulatedRadio radio;
    Scratch work{"window-work"};
    Scratch data{"window-data"};
    std::unique_ptr<MainWindow> window;

  private:
    void AnswerPassword(ModelDialog& dialog)
    {
        ++dialogsShown;
        const Typing typing = passwords.empty() ? Typing{"", false} : passwords.front();
        if (!passwords.empty()) {
            passwords.erase(passwords.begin());
        }
        auto* edit = dialog.findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, typing.text);
        for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
            if (b->text() == (typing.ok ? "OK" : "Cancel")) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no button to end the password dialog";
    }

    test::ScopedComOverride com_;
    std::map<std::string, std::function<void()>> actions_;
    QMessageBox::StandardButton boxButton_ = QMessageBox::NoButton;
    QPointer<QMessageBox> heldBox_;
    bool shotTaken_ = false;
};

void ExpectIdleWindow(WindowBench& bench)
{
    TCodeUpdaterMainDispForm& form = bench.Form();
    auto* start = bench.Widget<QPushButton>(form.m_StartButton);
    EXPECT_EQ(start->text(), "&Start"); // S is its Alt key
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(bench.Widget<QComboBox>(form.m_ComportComboBox)->isEnabled());
    EXPECT_TRUE(bench.Widget<QPushButton>(form.m_RetrieveVersionInfoButton)->isEnabled());
    EXPECT_FALSE(form.m_UpdateInProgress);
    EXPECT_EQ(form.m_PortTable[1], kPortAvailable); // the port is free again
}

TEST(WindowUpdateE2eTest, CarriedSetUpdatesTheRadioFromStartToDone)
{
    WindowBench bench(AUREX_SET_CARRIED, AUREX_UPDATER_CARRIED, {"--boot-version", "4.0"});
    TCodeUpdaterMainDispForm& form = bench.Form();
    EXPECT_EQ(form.m_ComportComboBox.Selection(), 0); // COM 1 is chosen at start
    bench.passwords.push_back({"brontel"});
    int valueChanges = 0;
    WatchAnnouncements(
        [&](const QAccessibleEvent& e) { valueChanges += e.type() == QAccessible::ValueChanged; });
    const auto began = std::chrono::steady_clock::now();
    bench.Click(form.m_StartButton);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    WatchAnnouncements({});
    // A screen reader hears the bar at most four times a second (and the first value at once).
    EXPECT_LE(valueChanges, 4 * took.count() + 1) << "in " << took.count() << " s";

    EXPECT_EQ(bench.dialogsShown, 1);
    EXPECT_EQ(bench.Widget<QLabel>(form.m_StatusLabel)->text(), "Done.") << bench.radio.Log();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return bench.Widget<QProgressBar>(form.m_ProgressBar)->value() == 100; }));
    EXPECT_THAT(bench.statuses, ElementsAreArray(kCarriedSetStatuses));
    EXPECT_TRUE(bench.boxes.empty());
    ExpectIdleWindow(bench);
    // Where the run stood: each step in turn, the radio kept from the loader on, a percentage in
    // the title while the run went on.
    EXPECT_THAT(bench.steps,
                ElementsAre("Step 1 of 10: preparing the images", "Step 2 of 10: radio check",
                            "Step 3 of 10: loader", "Step 4 of 10: erasing flash",
                            "Step 5 of 10: code download", "Step 6 of 10: radio restart",
                            "Step 7 of 10: codeplug upload", "Step 8 of 10: codeplug conversion",
                            "Step 9 of 10: codeplug write", "Step 10 of 10: codeplug check", ""));
    EXPECT_THAT(bench.disconnectLines,
                ElementsAre("Do not disconnect the radio.", "The radio may be disconnected."));
    ASSERT_FALSE(bench.titles.empty());
    EXPECT_EQ(bench.titles.front(), "0% - Aurex Code Updater");
    EXPECT_THAT(bench.titles, ::testing::Contains("100% - Aurex Code Updater"));
    EXPECT_EQ(bench.titles.back(), "Aurex Code Updater");
    EXPECT_THAT(bench.Widget<QLabel>(form.m_RunTimeLabel)->text().toStdString(),
                ::testing::MatchesRegex("[0-9]+:[0-9][0-9] elapsed"));
    EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_CARRIED, "CODE")));
    EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    // For the documentation: the window as the update leaves it, as the demo ends.
    if (const char* shot = std::getenv("AUREX_SCREENSHOT"); shot != nullptr && *shot != '\0') {
        QTest::qWait(200);
        EXPECT_TRUE(bench.window->grab().save(QString::fromLocal8Bit(shot)));
    }

    // The port is free for Retrieve at once, and the radio now asks for the converted format.
    bench.Click(form.m_ToggleVersionInfoSpeedButton);
    bench.Click(form.m_RetrieveVersionInfoButton);
    EXPECT_EQ(bench.Widget<QLabel>(form.FileVersionLabel)->text(), "5.10") << bench.radio.Log();
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.");
    ExpectIdleWindow(bench);
}

TEST(WindowUpdateE2eTest, PasswordIsCheckedByItsTextAloneAndOnceForTheProgramRun)
{
    // An Application_Boot set of series 5: the user chooses what Start loads.
    WindowBench bench(AUREX_SET_CHOICE, AUREX_UPDATER_CHOICE, {"--boot-updates", "1", "--restart-ms", "0"});
    TCodeUpdaterMainDispForm& form = bench.Form();
    auto* boot = bench.Widget<QRadioButton>(form.m_BootRadioButton);
    ASSERT_TRUE(boot->isVisible());
    QTest::mouseClick(boot, Qt::LeftButton, {}, QPoint(5, boot->height() / 2));
    ASSERT_TRUE(form.m_BootRadioButton.Checked());

    // Boot wants "marvoski": "brontel" is refused, the status line says so and nothing runs.
    bench.passwords.push_back({"brontel"});
    bench.Click(form.m_StartButton);
    EXPECT_EQ(bench.dialogsShown, 1);
    EXPECT_EQ(bench.statuses, std::vector<std::string>{"The password was not accepted."});
    EXPECT_EQ(bench.Widget<QLabel>(form.m_StatusLabel)->text(), "The password was not accepted.");
    ExpectIdleWindow(bench);

    // The right text with Cancel still starts the run.
    bench.passwords.push_back({"  marvoski ", false});
    bench.Click(form.m_StartButton);
    EXPECT_EQ(bench.dialogsShown, 2);
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Download finished.") << bench.radio.Log();
    EXPECT_EQ(ReadBytes(bench.radio.Dump("boot-code")),
              SRecordData(ImageText(AUREX_SET_CHOICE, "CODE", "_BOOT")));

    // Accepted once, for the rest of the program run, whatever is chosen.
    auto* application = bench.Widget<QRadioButton>(form.m_ApplicationRadioButton);
    QTest::mouseClick(application, Qt::LeftButton, {}, QPoint(5, application->height() / 2));
    ASSERT_TRUE(form.m_ApplicationRadioButton.Checked());
    bench.Click(form.m_StartButton);
    EXPECT_EQ(bench.dialogsShown, 2);
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
    EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_CHOICE, "CODE")));
    ExpectIdleWindow(bench);
}

TEST(WindowUpdateE2eTest, StopDuringTheDownloadLeavesItsTextProgressZeroAndNoCodeplugStep)
{
    WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
    TCodeUpdaterMainDispForm& form = bench.Form();
    bench.AnswerBoxesWith(QMessageBox::Yes); // Stop asks first during the download
    bench.At("Downloading Application code ...", [&] { bench.Click(form.m_StartButton); });
    bench.passwords.push_back({"brontel"});
    bench.Click(form.m_StartButton);
    ASSERT_EQ(bench.boxes.size(), 1U);
    EXPECT_EQ(bench.boxes[0].caption, "Confirm");
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Code download timed out or canceled by user.");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return bench.Widget<QProgressBar>(form.m_ProgressBar)->value() == 0; }));
    EXPECT_THAT(bench.statuses, ::testing::Not(::testing::Contains("Resetting radio...")));
    ExpectIdleWindow(bench);
    // Stopped half-way through the code: the radio is to stay for another go.
    EXPECT_THAT(bench.Widget<QLabel>(form.m_DisconnectLabel)->text().toStdString(),
                HasSubstr("The radio has no working code."));
    EXPECT_EQ(bench.window->windowTitle(), "Aurex Code Updater");
    EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    const auto dumps = bench.radio.StopAndListDumps();
    EXPECT_THAT(dumps, ::testing::Not(::testing::Contains("02-code.bin")));
}

// Stop while the loader, the erase, the code or a DSP is under way asks first: No (Enter, even past
// the reply time-out) lets the run go on to "Done.", Yes stops it. A signal stops it without asking.
TEST(WindowUpdateE2eTest, StopDuringTheCodeDownloadAsksFirstNoGoesOnYesStops)
{
    enum class How { StopNo, StopYes, Signal, EnterAfterReplyTime };
    struct Case
    {
        const char* at;
        How how;
        bool dsp = false;
        const char* blockDelay = "0209:0"; // a slower radio's download outlasts the hold
    };
    for (const Case c :
         {Case{"Downloading Loader code ...", How::StopNo}, Case{"Erasing flash (2 seconds)...", How::StopNo},
          Case{"Downloading Application code ...", How::StopNo},
          Case{"Downloading Application code ...", How::EnterAfterReplyTime, false, "0209:300"},
          Case{"Erasing flash (2 seconds)...", How::StopYes},
          Case{"Downloading Loader code ...", How::Signal},
          Case{"Downloading Loader code...", How::StopNo, true},
          Case{"Downloading Loader code...", How::StopYes, true}}) {
        SCOPED_TRACE(::testing::Message()
                     << c.at << ", way " << static_cast<int>(c.how) << (c.dsp ? ", DSP" : ""));
        WindowBench bench(c.dsp ? AUREX_SET_DSP : AUREX_SET_APPLICATION,
                          c.dsp ? AUREX_UPDATER_DSP : AUREX_UPDATER_APPLICATION,
                          c.dsp ? std::vector<std::string>{"--boot-version", "4.0", "--erase-ms", "0"}
                                : std::vector<std::string>{"--boot-version", "6.0", "--delay", c.blockDelay});
        TCodeUpdaterMainDispForm& form = bench.Form();
        const bool goesOn = c.how == How::StopNo || c.how == How::EnterAfterReplyTime;
        bench.AnswerBoxesWith(goesOn ? QMessageBox::No : QMessageBox::Yes);
        // Held open past the download's reply time-out, on the window's scaled clock.
        bench.boxHoldMs = c.how == How::EnterAfterReplyTime
                              ? static_cast<int>(1.2 * programming_timeouts::kDownloadReplyMs * kTimeScale)
                              : 0;
        bench.At(c.at, [&] {
            if (c.how == How::Signal) {
                form.RequestTermination();
            } else {
                bench.Click(form.m_StartButton);
            }
        });
        bench.passwords.push_back({"brontel"});
        bench.Click(form.m_StartButton);
        if (c.how == How::Signal) {
            EXPECT_TRUE(bench.boxes.empty());
        } else {
            ASSERT_EQ(bench.boxes.size(), 1U);
            EXPECT_EQ(bench.boxes[0].caption, "Confirm");
            EXPECT_EQ(bench.boxes[0].text, "Stopping now leaves the radio without working code until it is "
                                           "updated again.\n\nStop the update anyway?");
            EXPECT_EQ(bench.boxes[0].icon, QMessageBox::Question);
            EXPECT_EQ(bench.boxesAnswered, 1); // still asking when answered
        }
        if (goesOn) {
            EXPECT_FALSE(form.m_RunStopped);
            EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
            if (!c.dsp) {
                EXPECT_EQ(ReadBytes(bench.radio.Dump("code")),
                          SRecordData(ImageText(AUREX_SET_APPLICATION, "CODE")));
            }
            ExpectIdleWindow(bench);
        } else {
            EXPECT_TRUE(form.m_RunStopped);
            EXPECT_THAT(bench.statuses, ::testing::Not(::testing::Contains("Resetting radio...")));
            EXPECT_THAT(bench.statuses, ::testing::Not(::testing::Contains("Done.")));
        }
    }
}

// After "Done." the version panel says its values were read before the update, until Retrieve
// reads the radio again; the window names the codeplug backup the run saved.
TEST(WindowUpdateE2eTest, AfterTheUpdateThePanelIsMarkedAndTheBackupIsNamed)
{
    WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
    TCodeUpdaterMainDispForm& form = bench.Form();
    bench.Click(form.m_ToggleVersionInfoSpeedButton);
    bench.Click(form.m_RetrieveVersionInfoButton);
    EXPECT_EQ(form.FileVersionLabel.Caption(), "5.8") << bench.radio.Log();
    EXPECT_FALSE(form.m_VersionsBeforeUpdateLabel.Visible());
    EXPECT_FALSE(form.m_CodeplugBackupLabel.Visible());

    bench.passwords.push_back({"brontel"});
    bench.Click(form.m_StartButton);
    ASSERT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
    EXPECT_TRUE(form.m_VersionsBeforeUpdateLabel.Visible());
    EXPECT_EQ(form.m_VersionsBeforeUpdateLabel.Caption(), "Read before the update");
    EXPECT_TRUE(bench.Widget<QLabel>(form.m_VersionsBeforeUpdateLabel)->isVisible());
    EXPECT_EQ(form.FileVersionLabel.Caption(), "5.8"); // still the old reading, now marked
    ASSERT_TRUE(form.m_CodeplugBackupLabel.Visible());
    const std::string caption = form.m_CodeplugBackupLabel.Caption();
    ASSERT_EQ(caption.rfind("Codeplug backup: ", 0), 0U) << caption;
    const fs::path backup = caption.substr(std::string("Codeplug backup: ").size());
    EXPECT_TRUE(fs::is_regular_file(backup)) << backup;
    EXPECT_EQ(backup.string().rfind(fs::path(bench.data.path).string(), 0), 0U) << backup; // the user's data
    EXPECT_EQ(bench.Widget<QLabel>(form.m_CodeplugBackupLabel)->toolTip().toStdString(), caption);

    bench.Click(form.m_RetrieveVersionInfoButton);
    EXPECT_EQ(form.FileVersionLabel.Caption(), "5.10") << bench.radio.Log();
    EXPECT_FALSE(form.m_VersionsBeforeUpdateLabel.Visible());
    EXPECT_TRUE(form.m_CodeplugBackupLabel.Visible()); // where it went does not change
}

// A Stop inside the codeplug step cuts none of it short: the step goes on to its end. Meanwhile
// the button reads "Start" but neither it nor Retrieve can begin anything.
TEST(WindowUpdateE2eTest, AfterStopInTheCodeplugStepNothingStartsUntilTheStepHasEnded)
{
    for (const char* at : {"Resetting radio...", "Uploading codeplug..."}) {
        SCOPED_TRACE(at);
        WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
        TCodeUpdaterMainDispForm& form = bench.Form();
        auto* start = bench.Widget<QPushButton>(form.m_StartButton);
        auto* retrieve = bench.Widget<QPushButton>(form.m_RetrieveVersionInfoButton);
        bool checked = false;
        std::size_t statusesAtStop = 0;
        bench.At(at, [&] {
            bench.Click(form.m_StartButton); // Stop
            checked = true;
            statusesAtStop = bench.statuses.size();
            EXPECT_EQ(start->text(), "&Start"); // S is its Alt key
            EXPECT_FALSE(start->isEnabled());
            EXPECT_FALSE(retrieve->isEnabled());
            EXPECT_FALSE(bench.Widget<QComboBox>(form.m_ComportComboBox)->isEnabled());
            EXPECT_EQ(form.m_ProgressBar.Position(), 0); // the bar shows it at its next turn
            QTest::mouseClick(start, Qt::LeftButton);
            QTest::mouseClick(retrieve, Qt::LeftButton);
            form.m_StartButtonClick();
            form.m_RetrieveVersionInfoButtonClick();
            EXPECT_FALSE(form.m_UpdateInProgress);
            EXPECT_EQ(bench.statuses.size(), statusesAtStop); // nothing began
        });
        bench.passwords.push_back({"brontel"});
        bench.Click(form.m_StartButton);
        ASSERT_TRUE(checked);
        EXPECT_EQ(bench.dialogsShown, 1);
        EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
        EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
        ExpectIdleWindow(bench);
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
    }
}

TEST(WindowUpdateE2eTest, ClosingDuringARunAsksFirstNoGoesOnYesStopsIt)
{
    {
        WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
        TCodeUpdaterMainDispForm& form = bench.Form();
        bench.AnswerBoxesWith(QMessageBox::No);
        bench.At("Downloading Application code ...", [&] { bench.window->close(); });
        bench.passwords.push_back({"brontel"});
        bench.Click(form.m_StartButton);
        ASSERT_EQ(bench.boxes.size(), 1U);
        EXPECT_EQ(bench.boxes[0].caption, "Confirm");
        EXPECT_EQ(bench.boxes[0].text, "Update in progress.  Are you sure you want to quit?");
        EXPECT_EQ(bench.boxes[0].icon, QMessageBox::Question);
        EXPECT_TRUE(bench.window->isVisible());
        EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
    }
    {
        WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
        TCodeUpdaterMainDispForm& form = bench.Form();
        bench.AnswerBoxesWith(QMessageBox::Yes);
        bench.At("Downloading Application code ...", [&] { bench.window->close(); });
        bench.passwords.push_back({"brontel"});
        bench.Click(form.m_StartButton);
        ASSERT_EQ(bench.boxes.size(), 1U);
        EXPECT_FALSE(bench.window->isVisible());
        EXPECT_EQ(form.m_StatusLabel.Caption(), "Code download timed out or canceled by user.");
        EXPECT_THAT(bench.statuses, ::testing::Not(::testing::Contains("Resetting radio...")));
        EXPECT_FALSE(form.m_UpdateInProgress);
        EXPECT_EQ(form.m_PortTable[1], kPortAvailable);
        EXPECT_THAT(Entries(bench.work.path), IsEmpty());
        EXPECT_THAT(bench.radio.StopAndListDumps(), ::testing::Not(::testing::Contains("02-code.bin")));
    }
    {
        // Closed once the new code is in the radio: the window goes, the codeplug step ends first.
        WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
        TCodeUpdaterMainDispForm& form = bench.Form();
        bench.AnswerBoxesWith(QMessageBox::Yes);
        bench.At("Uploading codeplug...", [&] { bench.window->close(); });
        bench.passwords.push_back({"brontel"});
        bench.Click(form.m_StartButton);
        ASSERT_EQ(bench.boxes.size(), 1U);
        EXPECT_EQ(bench.boxes[0].caption, "Confirm");
        EXPECT_FALSE(bench.window->isVisible());
        EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
        EXPECT_THAT(bench.statuses, ::testing::Contains("Reading codeplug back..."));
        EXPECT_FALSE(form.m_UpdateInProgress);
        EXPECT_EQ(form.m_PortTable[1], kPortAvailable);
        EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
    }
}

// SIGTERM and SIGHUP stop the run as Stop does: a codeplug being written back is finished, also
// when a second signal comes, and the window closes once the run has ended; with no run it
// closes at once.
TEST(WindowUpdateE2eTest, TerminationSignalsFinishTheWriteBackThenCloseTheWindow)
{
    {
        WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION,
                          {"--boot-version", "6.0", "--latency-ms", "200"});
        TCodeUpdaterMainDispForm& form = bench.Form();
        const TerminationSignals stopSignals([&bench](int) { bench.window->Terminate(); });
        bench.At("Downloading codeplug...", [&] {
            ::raise(SIGTERM);
            QTimer::singleShot(100, bench.window.get(), [] { ::raise(SIGHUP); });
        });
        bench.passwords.push_back({"brontel"});
        bench.Click(form.m_StartButton);
        EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
        EXPECT_THAT(CodeplugInfo(bench.radio.Dump("codeplug")), HasSubstr("format 5.10"));
        EXPECT_FALSE(bench.window->isVisible());
        EXPECT_FALSE(form.m_UpdateInProgress);
    }
    {
        WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
        const TerminationSignals stopSignals([&bench](int) { bench.window->Terminate(); });
        ::raise(SIGHUP);
        for (int waited = 0; bench.window->isVisible() && waited < 5000; waited += 10) {
            QTest::qWait(10);
        }
        EXPECT_FALSE(bench.window->isVisible());
        EXPECT_EQ(bench.radio.Log().find("line speed"), std::string::npos) << bench.radio.Log();
    }
}

// Sends `key` to the first popup menu or modal box that `wanted` accepts, as soon as it is up;
// notes a box's caption and text, or a menu's title, in `seen`.
void PressWhenUp(Qt::Key key, std::function<bool(QWidget*)> wanted, std::shared_ptr<QString> seen,
                 QObject* owner, int triesLeft = 2000)
{
    QTimer::singleShot(5, owner, [=] {
        QWidget* up = QApplication::activePopupWidget() != nullptr ? QApplication::activePopupWidget()
                                                                   : QApplication::activeModalWidget();
        if (up == nullptr || !wanted(up)) {
            if (triesLeft > 0) {
                PressWhenUp(key, wanted, seen, owner, triesLeft - 1);
            }
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(up)) {
            *seen = box->windowTitle() + u'|' + box->text();
        } else if (auto* menu = qobject_cast<QMenu*>(up)) {
            *seen = menu->title();
        }
        QTest::keyClick(up, key);
    });
}

TEST(WindowUpdateE2eTest, KeyboardAloneChoosesThePortStartsAndAnswersTheBoxes)
{
    WindowBench bench(AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, {"--boot-version", "6.0"});
    TCodeUpdaterMainDispForm& form = bench.Form();
    QWidget& window = *bench.window;
    // A desktop activates the window (and gives the activation back when a box closes); offscreen
    // is told.
    const auto activate = [&window] {
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    };
    activate();
    auto* ports = bench.Widget<QComboBox>(form.m_ComportComboBox);
    ASSERT_EQ(QApplication::focusWidget(), ports); // the port list has the focus first
    QTest::keyClick(ports, Qt::Key_Down);
    QTest::keyClick(ports, Qt::Key_Home);
    EXPECT_EQ(form.m_ComportComboBox.Selection(), 0); // COM 1, the radio's

    // The password typed, Enter for OK.
    bench.window->Host().onDialogShown = [&bench](ModelDialog& dialog) {
        ++bench.dialogsShown;
        QWidget* edit = dialog.focusWidget();
        ASSERT_NE(qobject_cast<QLineEdit*>(edit), nullptr);
        QTest::keyClicks(edit, "brontel");
        QTest::keyClick(edit, Qt::Key_Return);
    };
    // During the download Alt+F, X (File, Exit) asks whether to quit; Esc answers No.
    auto menu = std::make_shared<QString>();
    auto box = std::make_shared<QString>();
    bench.At("Downloading Application code ...", [&] {
        activate();
        const auto isMenu = [](QWidget* w) { return qobject_cast<QMenu*>(w) != nullptr; };
        const auto isBox = [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; };
        PressWhenUp(Qt::Key_X, isMenu, menu, &window);
        PressWhenUp(Qt::Key_Escape, isBox, box, &window);
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused != nullptr ? focused : &window, Qt::Key_F, Qt::AltModifier);
    });
    // Enter in the port list presses Start, the default button.
    QTest::keyClick(ports, Qt::Key_Return);

    EXPECT_EQ(bench.dialogsShown, 1);
    EXPECT_EQ(*menu, "&File");
    EXPECT_EQ(*box, "Confirm|Update in progress.  Are you sure you want to quit?");
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(form.m_StatusLabel.Caption(), "Done.") << bench.radio.Log();
    EXPECT_EQ(ReadBytes(bench.radio.Dump("code")), SRecordData(ImageText(AUREX_SET_APPLICATION, "CODE")));
    ExpectIdleWindow(bench);
}

} // namespace
} // namespace aurex::e2e
