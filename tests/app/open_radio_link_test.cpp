#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include "app/code_updater_main_form.h"
#include "app/line_check.h"
#include "app/port_probe.h"
#include "app/timer_driver.h"
#include "link/clock.h"
#include "link/message_table.h"
#include "link/serial_system.h"
#include "link/transport_view.h"
#include "support/recording_host.h"
#include "support/scripted_peer.h"

namespace aurex {
namespace {

using test::Bytes;
using test::PeerIo;

const Bytes kBoxProbe = {0xBA, 0x7F, 0x4F, 0x09, 0x01, 0x28, 0x7E};
constexpr int kCom = 3;

bool CarriesBaudChange(const Bytes& frame, int baud)
{
    const Bytes wanted = {0x09, 0x00, BaudSelector(baud)};
    return std::search(frame.begin(), frame.end(), wanted.begin(), wanted.end()) != frame.end();
}

// The main window over a pseudo-terminal at COM 3, its timers running on the sped-up clock.
class Rig
{
  public:
    Rig(std::uint8_t radioModel, std::uint8_t kindFlag, std::int8_t series, unsigned processors,
        std::function<PortOpenResult(int)> probe = {},
        std::function<ports::Findings(const std::string&, LineProbes)> check = {})
        : com_(kCom, pty.DevicePath())
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "open_radio_link_test";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
        Clock::SetScale(0.05);
        MainFormEnvironment env = testing::FakeEnvironment({}, "Unit_Release_1_0", processors);
        env.probePort =
            probe ? probe : [](int n) { return n == kCom ? ProbeComPort(n) : PortOpenResult::NotPresent; };
        env.blobs = testing::RecordBlobs(radioModel, kindFlag, series, 0);
        if (check) {
            env.checkConnection = std::move(check);
        }
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, env);
        timers_ = std::make_unique<TimerDriver>(*form);
        form->m_ComportComboBox.UserSelect(kCom - 1);
    }
    ~Rig()
    {
        form->CloseRadioLink();
        timers_.reset();
        form.reset();
        Clock::SetScale(1.0);
    }

    test::PtyPair pty;
    testing::RecordingHost host;
    std::unique_ptr<TCodeUpdaterMainDispForm> form;

  private:
    test::ScopedComOverride com_;
    std::unique_ptr<TimerDriver> timers_;
};

// What a loaded machine does to a program that waits for a reply: shortly into the wait it is
// kept from the processor; the reply comes meanwhile, and when the program runs again its
// time-out is overdue as well.
class Descheduling
{
  public:
    // Takes this thread (the program) away 10 ms into its next wait, until the peer has replied
    // and then for `away` more.
    void During(std::chrono::milliseconds away)
    {
        QTimer::singleShot(10, &context_, [this, away] {
            replyNow_ = true;
            const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!replied_ && std::chrono::steady_clock::now() < bound) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::this_thread::sleep_for(away);
        });
    }
    // The peer's side: the reply goes out once the program is away.
    void Reply(PeerIo& io, const Bytes& frame)
    {
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!replyNow_ && std::chrono::steady_clock::now() < bound) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        io.Write(frame);
        replied_ = true;
    }

  private:
    QObject context_; // a wait that never came does not leave the timer behind
    std::atomic<bool> replyNow_{false};
    std::atomic<bool> replied_{false};
};

void ExpectNoPeerFailures(const test::ScriptedPeer& peer)
{
    for (const std::string& f : peer.Failures()) {
        ADD_FAILURE() << "peer: " << f;
    }
}

TEST(OpenRadioLinkTest, PortableRadiosOpenDirectlyWithoutAskingForTheBox)
{
    Rig rig(0, 0, 4, 8);
    ASSERT_EQ(rig.form->m_PortAvailability[kCom - 1], kPortAvailable);
    Bytes first;
    test::ScriptedPeer peer(rig.pty, [&](PeerIo& io) { first = io.ReadFrame(); });
    ASSERT_TRUE(rig.form->OpenRadioLink(false));
    peer.Join();
    ExpectNoPeerFailures(peer);
    EXPECT_NE(first, kBoxProbe);
    EXPECT_TRUE(CarriesBaudChange(first, 115200)) << test::Hex(first);
    EXPECT_FALSE(test::OnPortComponent(rig.form->RadioLink));
    EXPECT_FALSE(rig.form->ComPort.RS485Mode());
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortInUseHere);
    EXPECT_TRUE(rig.host.messages.empty());
    rig.form->CloseRadioLink();
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);

    // Retrieve keeps 19200: nothing is sent on opening.
    test::ScriptedPeer quiet(rig.pty, [](PeerIo& io) { io.ExpectSilence(300); });
    ASSERT_TRUE(rig.form->OpenRadioLink(true));
    quiet.Join();
    ExpectNoPeerFailures(quiet);
}

TEST(OpenRadioLinkTest, MobileRadiosUseTheInterfaceBoxEvenOnAMultiProcessorHost)
{
    Rig rig(1, 1, 4, 8);
    Bytes afterBox;
    test::ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        io.Expect(kBoxProbe);
        io.Write(test::RadioFrame({0x09, 0x02, 0x01, 0x02, 0x03, 0x04}));
        afterBox = io.ReadFrame();
    });
    ASSERT_TRUE(rig.form->OpenRadioLink(false));
    peer.Join();
    ExpectNoPeerFailures(peer);
    EXPECT_TRUE(CarriesBaudChange(afterBox, 115200)) << test::Hex(afterBox);
    EXPECT_FALSE(test::OnPortComponent(rig.form->RadioLink));
    EXPECT_TRUE(IsLinkActive(rig.form->RadioLink));
    EXPECT_TRUE(rig.host.messages.empty());
}

// The box answered in time, but the program saw its time-out before it read the answer: the box
// is there all the same, and nobody is told to buy one.
TEST(OpenRadioLinkTest, TheBoxsAnswerQueuedBeforeTheTimeOutIsSeenIsTaken)
{
    Rig rig(1, 1, 4, 8);
    // The probe then waits 200 ms: it cannot run out before the program is taken away.
    Clock::SetScale(0.2);
    int timeOuts = 0;
    const std::function<void()> onTimeOut = rig.form->m_CommTimer.OnClick;
    rig.form->m_CommTimer.OnClick = [&] {
        ++timeOuts;
        onTimeOut();
    };
    Descheduling load;
    Bytes afterBox;
    test::ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
        io.Expect(kBoxProbe);
        load.Reply(io, test::RadioFrame({0x09, 0x02, 0x01, 0x02, 0x03, 0x04}));
        afterBox = io.ReadFrame();
    });
    load.During(std::chrono::milliseconds(400));
    ASSERT_TRUE(rig.form->OpenRadioLink(false));
    peer.Join();
    ExpectNoPeerFailures(peer);
    EXPECT_EQ(timeOuts, 1) << "the time-out was not seen before the answer was read";
    EXPECT_TRUE(CarriesBaudChange(afterBox, 115200)) << test::Hex(afterBox);
    EXPECT_FALSE(test::OnPortComponent(rig.form->RadioLink));
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(OpenRadioLinkTest, WithoutTheBoxAMultiProcessorHostIsRefused)
{
    Rig rig(1, 1, 5, 2);
    test::ScriptedPeer peer(rig.pty, [](PeerIo& io) { io.Expect(kBoxProbe); });
    EXPECT_FALSE(rig.form->OpenRadioLink(false));
    peer.Join();
    ExpectNoPeerFailures(peer);
    ASSERT_EQ(rig.host.messages.size(), 1U);
    EXPECT_EQ(rig.host.messages[0].caption, "COM Port");
    EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(rig.host.messages[0].text,
              "Aurex Code Updater will not work with the current configuration.\n\n"
              "Either connect to the radio using LinkBox 900-8600-001 (which can\n"
              "be purchased from Corvane), or use a computer that does not\n"
              "have a multi-core processor or hyperthreading enabled.");
    rig.form->CloseRadioLink();
    EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
}

// On a multi-processor computer without the box, the check's cause leads and stays in the status
// line; the configuration text comes only where the line shows a cable without the box.
TEST(OpenRadioLinkTest, WithoutTheBoxTheCheckedCauseLeadsAndStaysInTheStatus)
{
    using Kind = ports::Finding::Kind;
    const ports::Finding silent{Kind::Problem, "Nothing answered on the line.", "Check the cable.", 90};
    const ports::Finding echo{Kind::Problem, std::string(kTwoWireCableText), "Use the box.", 30};
    const ports::Finding quiet{Kind::Problem, "No radio answered.", "Switch it on.", 70};
    const std::string box = "Aurex Code Updater will not work with the current configuration.";
    const struct
    {
        ports::Findings findings;
        std::string head;
        bool boxText;
        std::string status;
    } cases[] = {
        {{silent},
         "Nothing answered on the line.\n\nTo mend it:\n    Check the cable.",
         false,
         "Nothing answered on the line."},
        {{echo, quiet}, "No radio answered.\n\nTo mend it:\n    Switch it on.", true, "No radio answered."},
        {{echo}, box, true, "No interface box answered on COM 3."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Rig rig(1, 1, 5, 2, {}, [&](const std::string&, LineProbes) { return c.findings; });
        test::ScriptedPeer peer(rig.pty, [](PeerIo& io) { io.Expect(kBoxProbe); });
        EXPECT_FALSE(rig.form->OpenRadioLink(false));
        peer.Join();
        ASSERT_EQ(rig.host.messages.size(), 1U);
        const std::string& text = rig.host.messages[0].text;
        EXPECT_EQ(text.rfind(c.head, 0), 0U) << text;
        EXPECT_EQ(text.find(box) != std::string::npos, c.boxText) << text;
        EXPECT_EQ(rig.form->m_StatusLabel.Caption(), c.status);
    }
}

// The port list decides each port's state without opening any device (an open raises DTR and
// RTS: it resets boards and can key a transmitter); a port another program has locked shows as
// in use; the chosen port is opened at Start, exclusively.
TEST(PortListTest, ListingOpensNoDeviceAndTheChosenPortOpensExclusively)
{
    test::PtyPair free;
    test::PtyPair locked;
    const test::ScopedComOverride com1(1, free.DevicePath());
    const test::ScopedComOverride com2(2, locked.DevicePath());
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, free.DevicePath().c_str(), IN_OPEN), 0);
    ASSERT_GE(::inotify_add_watch(watch, locked.DevicePath().c_str(), IN_OPEN), 0);
    auto opens = [watch] {
        alignas(inotify_event) char events[4096];
        long bytes = 0;
        for (long n = 0; (n = ::read(watch, events, sizeof events)) > 0;) {
            bytes += n;
        }
        return bytes / static_cast<long>(sizeof(inotify_event));
    };

    // Another program holds COM 2 with the lock our own ports take.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const SerialOpenResult held = PlatformSerialSystem().Open(locked.DevicePath());
        const char byte = held.outcome == PortOpenResult::Opened ? '1' : '0';
        (void)!::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(byte, '1');
    opens(); // the holder's own open

    testing::RecordingHost host;
    MainFormEnvironment env = testing::FakeEnvironment({}, "Unit_Release_1_0", 1);
    env.probePort = {}; // the real listing
    TCodeUpdaterMainDispForm form(host, env);
    form.ProbeComPorts();
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(opens(), 0) << "listing the ports opened a device";
    EXPECT_EQ(form.m_PortAvailability[0], kPortAvailable);
    EXPECT_EQ(form.m_PortProbe[2], PortOpenResult::InUse);
    EXPECT_EQ(form.m_PortAvailability[1], kPortAbsent);

    form.m_ComportComboBox.SetSelection(0);
    ASSERT_TRUE(form.OpenRadioLink(true));
    EXPECT_GE(opens(), 1);
    const SerialOpenResult second = PlatformSerialSystem().Open(free.DevicePath());
    EXPECT_EQ(second.outcome, PortOpenResult::InUse);
    PlatformSerialSystem().Close(second.handle);
    form.CloseRadioLink();
    ::close(watch);
}

// A port that fails a run gets the connection check's likeliest cause added to its box: without
// the line for a device that did not open, with it (once the link has let go of the device)
// when nothing answered the box probe.
TEST(OpenRadioLinkTest, APortThatFailsARunGetsTheLikeliestCauseAdded)
{
    const std::string cause = "ModemManager (pid 812) has /dev/ttyUSB0 open.";
    struct Asked
    {
        std::string device;
        LineProbes line;
        bool deviceFree;
    };
    std::vector<Asked> asked;
    auto check = [&](const std::string& device, LineProbes line) {
        const SerialOpenResult opened = PlatformSerialSystem().Open(device);
        PlatformSerialSystem().Close(opened.handle);
        asked.push_back({device, line, opened.outcome == PortOpenResult::Opened});
        return ports::Findings{{ports::Finding::Kind::Note, "An adapter note.", "", 0},
                               {ports::Finding::Kind::Problem, "A lesser problem.", "", 1},
                               {ports::Finding::Kind::Problem, cause, "sudo systemctl stop ModemManager", 9}};
    };
    {
        Rig rig(1, 1, 5, 2, {}, check);
        test::ScriptedPeer peer(rig.pty, [](PeerIo& io) { io.Expect(kBoxProbe); });
        EXPECT_FALSE(rig.form->OpenRadioLink(false));
        peer.Join();
        ASSERT_EQ(rig.host.messages.size(), 1U);
        // Nothing on the line points at a missing box: the cause alone is the message.
        EXPECT_EQ(rig.host.messages[0].text, cause + "\n\nTo mend it:\n    sudo systemctl stop ModemManager");
        ASSERT_EQ(asked.size(), 1U);
        EXPECT_EQ(asked[0].device, rig.pty.DevicePath());
        EXPECT_EQ(asked[0].line, LineProbes::Run);
        EXPECT_TRUE(asked[0].deviceFree);
    }
    asked.clear();
    Rig rig(
        1, 1, 5, 2, [](int) { return PortOpenResult::NotPresent; }, check);
    EXPECT_FALSE(rig.form->OpenRadioLink(false));
    ASSERT_EQ(rig.host.messages.size(), 1U);
    EXPECT_EQ(rig.host.messages[0].text, "Selected COM port is in use or not available.\n\n" + cause);
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0].line, LineProbes::Skip);
}

TEST(OpenRadioLinkTest, WithoutTheBoxASingleProcessorHostUsesTheHalfDuplexPort)
{
    struct Case
    {
        std::uint8_t kindFlag;
        bool keepBaud;
        int expectedBaud; // 0: nothing sent after the probe
    };
    // Kind flag 0 gives radio type code 1, whose link stays at 19200 even for an update.
    for (const Case c :
         {Case{1, false, 115200}, Case{0, false, 19200}, Case{0, true, 19200}, Case{1, true, 0}}) {
        SCOPED_TRACE(std::to_string(c.kindFlag) + (c.keepBaud ? " keep" : " update"));
        Rig rig(1, c.kindFlag, 5, 1);
        Bytes afterProbe;
        test::ScriptedPeer peer(rig.pty, [&](PeerIo& io) {
            io.Expect(kBoxProbe);
            if (c.expectedBaud != 0) {
                afterProbe = io.ReadFrame();
            } else {
                io.ExpectSilence(300);
            }
        });
        ASSERT_TRUE(rig.form->OpenRadioLink(c.keepBaud));
        peer.Join();
        ExpectNoPeerFailures(peer);
        EXPECT_TRUE(test::OnPortComponent(rig.form->RadioLink));
        EXPECT_TRUE(rig.form->ComPort.RS485Mode());
        if (c.expectedBaud != 0) {
            EXPECT_TRUE(CarriesBaudChange(afterProbe, c.expectedBaud)) << test::Hex(afterProbe);
        }
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

// The same on the half-duplex port: a reply queued before the late-seen time-out is the reply.
TEST(OpenRadioLinkTest, OnTheHalfDuplexPortAReplyQueuedBeforeTheTimeOutIsSeenIsTaken)
{
    Rig rig(1, 1, 5, 1);
    // The wait below has 72 ticks, 0.8 s at this factor.
    Clock::SetScale(0.2);
    test::ScriptedPeer opening(rig.pty, [](PeerIo& io) {
        io.Expect(kBoxProbe);
        io.ReadFrame(); // the line speed
    });
    ASSERT_TRUE(rig.form->OpenRadioLink(false));
    opening.Join();
    ExpectNoPeerFailures(opening);
    RadioLink& link = rig.form->RadioLink;
    ASSERT_TRUE(test::OnPortComponent(link));
    int timeOuts = 0;
    QObject counting; // goes before timeOuts does
    QObject::connect(&rig.form->ComPort, &ComPort::OnTriggerTimer, &counting, [&timeOuts] { ++timeOuts; });
    ASSERT_TRUE(CreateLinkTimeout(link, 4000));

    Descheduling load;
    test::ScriptedPeer radio(rig.pty, [&](PeerIo& io) {
        io.ReadFrame();
        load.Reply(io, test::RadioFrame({0x04, 0x05, 1, 2, 3, 4, 5, 6, 7, 8}));
    });
    LinkPacket query;
    InitMessage(query, msg::kIdentity);
    ASSERT_TRUE(SendPacket(link, query));
    load.During(std::chrono::milliseconds(1600));
    const LinkReply answer = ReceiveTransferReply(link);
    EXPECT_EQ(answer.status, LinkStatus::Completed);
    radio.Join();
    ExpectNoPeerFailures(radio);
    EXPECT_EQ(timeOuts, 1) << "the time-out was not seen before the reply was read";
    EXPECT_EQ(GetLinkStatus(link), LinkStatus::Completed);
    const LinkPacket& reply = answer.packet;
    ASSERT_GE(reply.length, 2);
    EXPECT_EQ(reply.data[0], 0x04);
    EXPECT_EQ(reply.data[1], 0x05);
    ReleaseLinkTimeout(link);
}

TEST(OpenRadioLinkTest, APortThatVanishedAfterTheProbeGivesTheLinksMessage)
{
    for (const std::uint8_t model : {0, 1}) {
        SCOPED_TRACE(int(model));
        // The probe saw COM 4; by the time it is opened its device is gone.
        test::ScopedComOverride gone(4, "/dev/aurex-test-no-such-tty");
        Rig rig(model, 1, 4, 1,
                [](int n) { return n == 4 ? PortOpenResult::Opened : PortOpenResult::NotPresent; });
        rig.form->m_ComportComboBox.UserSelect(3);
        EXPECT_FALSE(rig.form->OpenRadioLink(false));
        ASSERT_EQ(rig.host.messages.size(), 1U);
        EXPECT_EQ(rig.host.messages[0].text, "Unable to start communication: COM port error");
        EXPECT_EQ(rig.host.messages[0].caption, "COM Port");
        EXPECT_EQ(rig.form->m_PortTable[4], kPortAvailable);
        EXPECT_FALSE(test::OnPortComponent(rig.form->RadioLink)); // never fell back to the half-duplex port
    }
}

// Stop pressed while the probe waits for the box says nothing of the box: no message that blames
// the computer, and no fall-back to the half-duplex port on a single-processor host either.
TEST(OpenRadioLinkTest, StopDuringTheBoxProbeEndsTheOpeningWithoutBlamingTheConfiguration)
{
    for (const unsigned processors : {1U, 2U}) {
        SCOPED_TRACE(processors);
        Rig rig(1, 1, 5, processors);
        test::ScriptedPeer peer(rig.pty, [](PeerIo& io) { io.Expect(kBoxProbe); });
        rig.form->BeginUpdateRun();
        QTimer::singleShot(0, [&rig] { rig.form->m_StartButton.Click(); }); // reads "Stop"
        EXPECT_FALSE(rig.form->OpenRadioLink(false));
        peer.Join();
        ExpectNoPeerFailures(peer);
        EXPECT_FALSE(rig.form->m_UpdateInProgress);
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_FALSE(test::OnPortComponent(rig.form->RadioLink));
        rig.form->CloseRadioLink();
        EXPECT_EQ(rig.form->m_PortTable[kCom], kPortAvailable);
    }
}

} // namespace
} // namespace aurex
