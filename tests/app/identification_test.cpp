// The Retrieve button and the boot version checks of the main window, against a radio played
// over a pseudo-terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include <QCoreApplication>

#include "app/code_updater_main_form.h"
#include "app/port_probe.h"
#include "app/timer_driver.h"
#include "link/clock.h"
#include "support/recording_host.h"
#include "support/scripted_peer.h"

namespace aurex {
namespace {

using test::Bytes;
using test::PeerIo;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kCom = 3;

// An 8400 series 4 updater (own code 6, direct cable) on COM 3, timers on the sped-up clock.
class Rig
{
  public:
    Rig() : com_(kCom, pty.DevicePath())
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "identification_test";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
        Clock::SetScale(0.05);
        MainFormEnvironment env = testing::FakeEnvironment({}, "Unit_Release_1_0", 1);
        env.probePort = [](int n) { return n == kCom ? ProbeComPort(n) : PortOpenResult::NotPresent; };
        env.blobs = testing::RecordBlobs(0, 0, 4, 0);
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, env);
        host.Attach(*form);
        timers_ = std::make_unique<TimerDriver>(*form);
        form->m_ComportComboBox.UserSelect(kCom - 1);
        form->ResourceAttributes.boot_major = 4;
        form->ResourceAttributes.boot_minor = 1;
    }
    ~Rig()
    {
        form->CloseRadioLink();
        timers_.reset();
        form.reset();
        Clock::SetScale(1.0);
    }

    // The radio answers requests by command byte from the table until the test ends; a missing
    // entry goes unanswered.
    std::unique_ptr<test::ScriptedPeer> Radio(std::map<std::uint8_t, Bytes> answers)
    {
        return std::make_unique<test::ScriptedPeer>(pty, [this, answers](PeerIo& io) {
            while (!io.Stopping()) {
                // Waits as long as the program takes to ask; a Stop ends the wait without a failure.
                // A short wait failed on a loaded machine and cut a slow frame in two.
                const Bytes frame = io.ReadFrame();
                if (frame.size() < 6) {
                    continue;
                }
                requests.push_back(frame[4]);
                const auto it = answers.find(frame[4]);
                if (it != answers.end()) {
                    io.Write(test::RadioFrame(it->second));
                }
            }
        });
    }

    test::PtyPair pty;
    testing::RecordingHost host;
    std::unique_ptr<TCodeUpdaterMainDispForm> form;
    std::vector<std::uint8_t> requests;

  private:
    test::ScopedComOverride com_;
    std::unique_ptr<TimerDriver> timers_;
};

const std::map<std::uint8_t, Bytes> kAnswers{
    {0x1C, {0x04, 0x1D, 5, 10}},
    {0x0B, {0x04, 0x0C, 3, 1, 4}},
    {0x09, {0x04, 0x0A, 4, 2, 0}},
    {0x07, {0x04, 0x08, 1, 0, 2}},
    {0x04, {0x04, 0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0xFF}},
    {0x2D, {0x04, 0x2E, 4, 1}},
    {0x3E, {0x04, 0x3F, 1, 3}},
};

std::vector<std::string> Labels(const TCodeUpdaterMainDispForm& f)
{
    return {f.FileVersionLabel.Caption(), f.DSPVersionLabel.Caption(),   f.HWControllerVersionLabel.Caption(),
            f.HWRevisionLabel.Caption(),  f.SerialNumberLabel.Caption(), f.BootLoadVersionLabel.Caption(),
            f.SEMVersionLabel.Caption()};
}

TEST(RetrieveTest, FillsEveryLabelAndClosesThePort)
{
    Rig rig;
    auto radio = rig.Radio(kAnswers);
    rig.form->m_RetrieveVersionInfoButton.Click();
    radio->Stop();
    EXPECT_THAT(radio->Failures(), IsEmpty());
    EXPECT_THAT(rig.requests, ElementsAre(0x1C, 0x0B, 0x09, 0x07, 0x04, 0x2D, 0x3E))
        << "nothing else, no baud change";
    EXPECT_THAT(Labels(*rig.form), ElementsAre("5.10", "3.1.4", "4.2.0", "Not Applicable",
                                               "0A-0B-0C-0D-0E-0F-10-FF", "4.1", "1.3"));
    EXPECT_EQ(rig.form->HWControllerVersionHeadingLabel.Caption(), "Controller Version:");
    // The history names the radio as its backups do, not as the label shows it.
    EXPECT_EQ(rig.form->m_RunRecorder.Row().radioIdentity, "0A0B0C0D0E0F10FF");
    EXPECT_EQ(rig.form->m_LastRetrieveStatus, ProgrammingStatus::Success);
    EXPECT_THAT(rig.host.Changes("m_RetrieveVersionInfoButton", "Enabled"), ElementsAre("false", "true"));
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
}

TEST(RetrieveTest, PlatformsWithoutBootInformationOrSemVersionStillShowTheRest)
{
    Rig rig;
    rig.form->RadioTypeCode = 7;
    std::map<std::uint8_t, Bytes> answers = kAnswers;
    answers.erase(0x2D);
    answers[0x09] = {0x04, 0x0A, 3, 0, 1}; // controller major 3: no SEM version
    auto radio = rig.Radio(answers);
    rig.form->m_RetrieveVersionInfoButton.Click();
    radio->Stop();
    EXPECT_EQ(rig.form->m_LastRetrieveStatus, ProgrammingStatus::NoBootInfo);
    EXPECT_THAT(Labels(*rig.form), ElementsAre("5.10", "3.1.4", "3.0.1", "1.0.2", "0A-0B-0C-0D-0E-0F-10-FF",
                                               "Not Applicable", "Not Applicable"));
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(RetrieveTest, ACommunicationErrorShowsItsBoxAndKeepsTheLabels)
{
    Rig rig;
    std::map<std::uint8_t, Bytes> answers = kAnswers;
    answers.erase(0x07);
    auto radio = rig.Radio(answers);
    rig.form->m_RetrieveVersionInfoButton.Click();
    radio->Stop();
    ASSERT_EQ(rig.host.messages.size(), 1U);
    EXPECT_EQ(rig.host.messages[0].text, "Communication error while retrieving version information.");
    EXPECT_EQ(rig.host.messages[0].caption, "Communication");
    EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::Error);
    EXPECT_THAT(Labels(*rig.form), ::testing::Each(std::string("<Blank>")));
    EXPECT_EQ(rig.form->HWControllerVersionHeadingLabel.Caption(), "HC08 Software Version:");
    EXPECT_TRUE(rig.form->m_RetrieveVersionInfoButton.Enabled());
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
}

TEST(BootVersionCheckTest, ComparesTheRadiosBootVersionWithTheCarriedOnes)
{
    struct Case
    {
        Bytes answer; // empty: no answer
        bool upgrade;
        const char* status;
        bool second;
    };
    const Case cases[] = {
        {{0x04, 0x2E, 4, 1}, false, "The boot version is current and does not need to be upgraded.", false},
        {{0x04, 0x2E, 4, 0}, true, "Idle", false},
        {{0x04, 0x2E, 6, 3}, false, "The boot version is current and does not need to be upgraded.", true},
        {{0x04, 0x2E, 6, 2}, true, "Idle", true},
        {{0x04, 0x2E, 5, 1},
         false,
         "Error: the major boot versions of the radio and file are different.",
         false},
        {{}, false, "Communication error while trying to retrieve boot version.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Hex(c.answer));
        Rig rig;
        rig.form->ResourceAttributes.second_boot_major = 6;
        rig.form->ResourceAttributes.second_boot_minor = 3;
        rig.form->UseSecondBootImage = !c.second;
        std::map<std::uint8_t, Bytes> answers;
        if (!c.answer.empty()) {
            answers[0x2D] = c.answer;
        }
        auto radio = rig.Radio(answers);
        ASSERT_TRUE(rig.form->OpenRadioLink(true));
        EXPECT_EQ(rig.form->CheckBootVersion(), c.upgrade);
        EXPECT_EQ(rig.form->m_StatusLabel.Caption(), c.status);
        EXPECT_EQ(rig.form->UseSecondBootImage, c.second);

        // The quiet variant: the same answer, nothing shown, failures in the flags.
        rig.form->CloseRadioLink();
        rig.form->ShowStatus("Idle");
        ASSERT_TRUE(rig.form->OpenRadioLink(true));
        bool mismatch = true;
        bool comm = true;
        EXPECT_EQ(rig.form->QueryBootUpgrade(mismatch, comm), c.upgrade);
        EXPECT_EQ(mismatch, std::string(c.status).rfind("Error:", 0) == 0);
        EXPECT_EQ(comm, c.answer.empty());
        EXPECT_EQ(rig.form->m_StatusLabel.Caption(), "Idle");
        EXPECT_EQ(rig.form->UseSecondBootImage, c.second);
        radio->Stop();
    }
}

TEST(BootVersionCheckTest, PlatformsOneFourAndFiveUpgradeWithoutAsking)
{
    for (const std::uint8_t code : {1, 4, 5}) {
        Rig rig;
        rig.form->RadioTypeCode = code;
        auto radio = rig.Radio(kAnswers);
        ASSERT_TRUE(rig.form->OpenRadioLink(true));
        EXPECT_TRUE(rig.form->CheckBootVersion());
        radio->Stop();
        EXPECT_THAT(rig.requests, IsEmpty());
    }
}

TEST(SeriesMismatchTest, NamesTheUpdaterTheRadioNeeds)
{
    Rig rig;
    rig.form->ShowSeriesMismatch(1, 4);
    ASSERT_EQ(rig.host.messages.size(), 1U);
    EXPECT_EQ(rig.host.messages[0].text,
              "This version of Aurex Code Updater does not match the radio series.\n"
              "Radio requires a 8600_Series_4 version of Aurex Code Updater.");
    EXPECT_EQ(rig.host.messages[0].caption, "Aurex Code Updater");
    EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::Error);
}

} // namespace
} // namespace aurex
