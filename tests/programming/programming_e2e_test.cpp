// Identification and the downloads against the simulated radio (aurex-radio-sim) over its
// pseudo-terminal: the window's Retrieve and boot checks, flash downloads whose flashed data the
// radio dumps, its faults, the erase waits per platform, a DSP download, and the updater's
// console front end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

#include "app/code_updater_main_form.h"
#include "app/port_probe.h"
#include "app/timer_driver.h"
#include "link/clock.h"
#include "loader_model.h"
#include "programming/radio_programming.h"
#include "support/pty_pair.h"
#include "support/radio_sim_process.h"
#include "support/recording_host.h"

namespace aurex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kCom = 5;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Bytes ReadBytes(const fs::path& path)
{
    const std::string s = ReadFile(path);
    return {s.begin(), s.end()};
}

// The application sample set: its loader and its code pieces joined, as extraction merges them.
std::string SampleLoader()
{
    return ReadFile(fs::path(AUREX_APPLICATION_SET_DIR) / "LOADER_1");
}
std::string SampleCode()
{
    std::string code;
    for (int i = 1; fs::exists(fs::path(AUREX_APPLICATION_SET_DIR) / ("CODE_" + std::to_string(i))); ++i) {
        code += ReadFile(fs::path(AUREX_APPLICATION_SET_DIR) / ("CODE_" + std::to_string(i)));
    }
    return code;
}

// The first n lines of a text.
std::string FirstLines(const std::string& text, int n)
{
    std::size_t at = 0;
    for (int i = 0; i < n && at != std::string::npos; ++i) {
        at = text.find('\n', at);
        at = at == std::string::npos ? at : at + 1;
    }
    return text.substr(0, at);
}

// A scratch folder for the radio's dumps.
struct Scratch
{
    Scratch()
    {
        char name[] = "/tmp/aurex-programming-e2e-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~Scratch() { fs::remove_all(path); }
    fs::path path;
};

std::vector<std::string> WithScale(std::vector<std::string> args, double scale, const Scratch& dumps)
{
    args.insert(args.end(), {"--time-scale", std::to_string(scale), "--dump-dir", dumps.path.string()});
    return args;
}

// The main window of an updater for the given radio family, on COM 5, which is the simulator.
class Rig
{
  public:
    struct Updater
    {
        std::uint8_t model = 0;
        std::uint8_t kind = 0;
        std::int8_t series = 4;
    };

    Rig(std::vector<std::string> simArgs, Updater updater, double scale = 0.05)
        : sim(WithScale(std::move(simArgs), scale, dumps)), com_(kCom, sim.DevicePath())
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "programming_e2e_test";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
        Clock::SetScale(scale);
        MainFormEnvironment env = testing::FakeEnvironment({}, "Unit_Release_1_0", 1);
        env.probePort = [](int n) { return n == kCom ? ProbeComPort(n) : PortOpenResult::NotPresent; };
        env.blobs = testing::RecordBlobs(updater.model, updater.kind, updater.series, 0);
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, env);
        host.Attach(*form);
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

    // Nothing when the link did not open.
    std::optional<ProgrammingStatus> Download(const std::string& loaderText, const std::string& codeText,
                                              bool boot = false)
    {
        if (!form->OpenRadioLink(false)) {
            return std::nullopt;
        }
        std::istringstream loader(loaderText);
        std::istringstream code(codeText);
        const ProgrammingStatus status =
            DownloadCode(form->RadioLink, loader, code, form->StatusCallbackForDownloads(),
                         form->RadioTypeCode, form->m_ProgressBarDisplay, boot);
        form->CloseRadioLink();
        return status;
    }

    // The dump named NN-`kind`.bin, once the radio says it has written it: it writes an image's
    // dump when the image ends, which the updater does not wait for.
    // Whether the radio logs `text` within a few seconds: it handles the program's last message
    // in its own process, after the program has already gone on.
    bool Logged(const std::string& text) const
    {
        for (int attempt = 0; attempt < 250 && sim.Log().find(text) == std::string::npos; ++attempt) {
            QThread::msleep(20);
        }
        return sim.Log().find(text) != std::string::npos;
    }

    fs::path Dump(const std::string& kind) const
    {
        for (int attempt = 0; attempt < 250; ++attempt) {
            for (const auto& e : fs::directory_iterator(dumps.path)) {
                const std::string name = e.path().filename().string();
                if (name.size() > kind.size() + 4 && name.substr(3) == kind + ".bin" &&
                    sim.Log().find("wrote " + e.path().string()) != std::string::npos) {
                    return e.path();
                }
            }
            QThread::msleep(20);
        }
        return {};
    }

    std::vector<std::string> Labels() const
    {
        const auto& f = *form;
        return {f.FileVersionLabel.Caption(),         f.DSPVersionLabel.Caption(),
                f.HWControllerVersionLabel.Caption(), f.HWRevisionLabel.Caption(),
                f.SerialNumberLabel.Caption(),        f.BootLoadVersionLabel.Caption(),
                f.SEMVersionLabel.Caption()};
    }

    Scratch dumps;
    test::RadioSimProcess sim;
    testing::RecordingHost host;
    std::unique_ptr<TCodeUpdaterMainDispForm> form;

  private:
    test::ScopedComOverride com_;
    std::unique_ptr<TimerDriver> timers_;
};

const Rig::Updater k8400Series4{0, 0, 4}; // own platform 6, direct cable
const Rig::Updater k8400Series6{0, 0, 6}; // 0
const Rig::Updater k8400Series5{0, 0, 5}; // 4
const Rig::Updater k8600Series4{1, 1, 4}; // 7, through the interface box
const Rig::Updater k8600Series6{1, 1, 6}; // 8
const Rig::Updater k8600Kind0{1, 0, 4};   // 1

TEST(RetrieveE2eTest, FillsEveryLabelFromTheRadio)
{
    Rig rig({"--serial", "0A 0B 0C 0D 0E 0F 10 FF", "--format", "5.9"}, k8400Series4);
    rig.form->m_RetrieveVersionInfoButton.Click();
    EXPECT_EQ(rig.form->m_LastRetrieveStatus, ProgrammingStatus::Success) << rig.sim.Log();
    EXPECT_THAT(rig.Labels(), ElementsAre("5.9", "3.1.4", "4.2.0", "Not Applicable",
                                          "0A-0B-0C-0D-0E-0F-10-FF", "4.0", "1.3"));
    EXPECT_EQ(rig.form->HWControllerVersionHeadingLabel.Caption(), "Controller Version:");
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(RetrieveE2eTest, ShowsNotApplicableWhereTheRadioHasNothing)
{
    // An 8600 radio (platform 7) that does not answer the boot version query and whose controller
    // has no SEM: hardware revision shown, boot load and SEM not applicable.
    Rig rig({"--unanswered", "04 2D", "--controller-version", "3.0.1", "--hardware-version", "2.1.0"},
            k8600Series4);
    rig.form->m_RetrieveVersionInfoButton.Click();
    EXPECT_EQ(rig.form->m_LastRetrieveStatus, ProgrammingStatus::NoBootInfo) << rig.sim.Log();
    EXPECT_THAT(rig.Labels(), ElementsAre("5.8", "3.1.4", "3.0.1", "2.1.0", "00-00-1A-2B-3C-4D-5E-6F",
                                          "Not Applicable", "Not Applicable"));
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(RetrieveE2eTest, ARadioThatStopsAnsweringGivesTheCommunicationBox)
{
    Rig rig({"--unanswered", "04 07"}, k8400Series4);
    rig.form->m_RetrieveVersionInfoButton.Click();
    ASSERT_EQ(rig.host.messages.size(), 1U) << rig.sim.Log();
    EXPECT_EQ(rig.host.messages[0].text, "Communication error while retrieving version information.");
    EXPECT_EQ(rig.host.messages[0].caption, "Communication");
    EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(rig.form->FileVersionLabel.Caption(), "<Blank>");
}

TEST(BootCheckE2eTest, StatusTextsFollowTheRadiosBootVersion)
{
    struct Case
    {
        std::vector<std::string> args;
        bool upgrade;
        const char* status;
    };
    const Case cases[] = {
        {{"--boot-version", "4.1"}, false, "The boot version is current and does not need to be upgraded."},
        {{"--boot-version", "4.0"}, true, "Idle"},
        {{"--boot-version", "5.1"},
         false,
         "Error: the major boot versions of the radio and file are different."},
        {{"--unanswered", "04 2D"}, false, "Communication error while trying to retrieve boot version."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        Rig rig(c.args, k8400Series4);
        rig.form->ResourceAttributes.boot_major = 4;
        rig.form->ResourceAttributes.boot_minor = 1;
        ASSERT_TRUE(rig.form->OpenRadioLink(false));
        EXPECT_EQ(rig.form->CheckBootVersion(), c.upgrade) << rig.sim.Log();
        EXPECT_EQ(rig.form->m_StatusLabel.Caption(), c.status);
    }
}

TEST(DownloadE2eTest, TheRadioFlashesExactlyTheDataOfTheImages)
{
    Rig rig({}, k8400Series6, 0.1);
    const std::string loader = SampleLoader();
    const std::string code = SampleCode();
    ASSERT_GT(code.size(), 10000U);
    EXPECT_EQ(rig.Download(loader, code), ProgrammingStatus::Success) << rig.sim.Log();
    EXPECT_EQ(rig.form->m_StatusLabel.Caption(), "Download finished.");
    EXPECT_EQ(ReadBytes(rig.Dump("loader")), test::SRecordDataBytes(loader));
    EXPECT_EQ(ReadBytes(rig.Dump("code")), test::SRecordDataBytes(code));
    EXPECT_THAT(rig.sim.Log(), Not(HasSubstr("different")));
    EXPECT_TRUE(rig.Logged("line speed 19200 baud")) << "back at 19200 after the code\n" << rig.sim.Log();
}

TEST(DownloadE2eTest, EmptyImagesAreTwoBlocksOfFFUnderChecksumFF80)
{
    Rig rig({}, k8400Series6, 0.1);
    EXPECT_EQ(rig.Download("S0030000FC\nS9030000FC\n", "S70500000000FA\n"), ProgrammingStatus::Success)
        << rig.sim.Log();
    EXPECT_EQ(ReadBytes(rig.Dump("loader")), Bytes(256, 0xFF));
    EXPECT_EQ(ReadBytes(rig.Dump("code")), Bytes(256, 0xFF));
    // The radio's pair checksum (FF80) matched ours: no verdict said different.
    EXPECT_THAT(rig.sim.Log(), Not(HasSubstr("different")));
}

TEST(DownloadE2eTest, ADifferingPairChecksumResendsTheBlockFourTimesThenTimesOut)
{
    // The loader is one pair; the radio misreports the code image's first pair.
    Rig rig({"--bad-checksum", "2"}, k8400Series6, 0.1);
    EXPECT_EQ(rig.Download(FirstLines(SampleLoader(), 8), SampleCode()), ProgrammingStatus::TimedOut);
    EXPECT_EQ(rig.form->m_StatusLabel.Caption(), "Code download timed out or canceled by user.");
    // The last resend may still be on its way to the radio when the download gives up.
    const auto resends = [&rig] {
        const std::string log = rig.sim.Log();
        std::size_t n = 0;
        for (std::size_t at = log.find("sent again"); at != std::string::npos;
             at = log.find("sent again", at + 1)) {
            ++n;
        }
        return n;
    };
    for (int i = 0; i < 100 && resends() < 4; ++i) {
        QThread::msleep(20);
    }
    EXPECT_EQ(resends(), 4U) << rig.sim.Log();
}

TEST(DownloadE2eTest, AVerifyFailureShowsTheAddress)
{
    {
        // Block 2 of the code image lies at 0x00FE19A0 + 128.
        Rig rig({"--flash-base", "0x00FE19A0", "--verify-fail", "2"}, k8400Series6, 0.1);
        EXPECT_EQ(rig.Download(SampleLoader(), SampleCode()), ProgrammingStatus::VerifyFailed)
            << rig.sim.Log();
        EXPECT_EQ(rig.form->m_StatusLabel.Caption(), "Flash Verify failed at address: 0x00FE1A20");
    }
    {
        // The same pair's checksum also differs: the radio answers the 02 06 with 02 0A.
        Rig rig({"--flash-base", "0x00FE19A0", "--verify-fail", "2", "--bad-checksum", "2"}, k8400Series6,
                0.1);
        EXPECT_EQ(rig.Download(FirstLines(SampleLoader(), 8), SampleCode()), ProgrammingStatus::VerifyFailed);
        EXPECT_EQ(rig.form->m_StatusLabel.Caption(), "Flash Verify failed at address: 0x00FE1A20");
    }
}

// The bar positions the window showed from `status` until the timed wait ended.
std::vector<int> TimedWaitPositions(const testing::RecordingHost& host, const std::string& status)
{
    std::vector<int> positions;
    enum class Phase { Before, During, Ending } phase = Phase::Before;
    for (const std::string& change : host.changes) {
        if (phase == Phase::Before) {
            if (change == "m_StatusLabel.Caption=" + status) {
                phase = Phase::During;
            }
        } else if (change == "ProgressBarTimer.Enabled=false") {
            phase = Phase::Ending;
        } else if (phase == Phase::Ending && change.rfind("m_ProgressBar.", 0) == 0) {
            // The wait's end fills the bar, unless the ticks already have: the next change is
            // the code image's.
            if (change == "m_ProgressBar.Position=100") {
                positions.push_back(100);
            }
            break;
        } else if (change.rfind("m_ProgressBar.Position=", 0) == 0) {
            positions.push_back(std::stoi(change.substr(change.find('=') + 1)));
        }
    }
    return positions;
}

TEST(DownloadE2eTest, TheEraseWaitFitsEachPlatform)
{
    // The radio erases for 80% of the wait the platform is given: it must be ready for the
    // code image then. Each case runs on a clock that makes the wait about 2 s.
    struct Case
    {
        const char* what;
        Rig::Updater updater;
        bool boot;
        int ticks;
        const char* text;
        int eraseMs; // the wait as the program gives it
    };
    const Case cases[] = {
        {"platform 6", k8400Series4, false, 1440, "Erasing flash (80 seconds)...", 80000},
        {"platform 4", k8400Series5, false, 720, "Erasing flash (40 seconds)...", 40000},
        {"platform 0", k8400Series6, false, 36, "Erasing flash (2 seconds)...", 2000},
        {"platform 8", k8600Series6, false, 36, "Erasing flash (2 seconds)...", 2000},
        {"platform 1", k8600Kind0, false, 18, nullptr, 1000},
        {"boot code", k8600Series4, true, 18, nullptr, 1000},
    };
    const std::string loader = FirstLines(SampleLoader(), 8);
    const std::string code = FirstLines(SampleCode(), 40);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto waitMs = Clock::TicksToMilliseconds(c.ticks);
        const double scale = 2000.0 / static_cast<double>(waitMs);
        Rig rig({"--erase-ms", std::to_string(waitMs * 8 / 10)}, c.updater, scale);
        EXPECT_EQ(rig.Download(loader, code, c.boot), ProgrammingStatus::Success) << rig.sim.Log();
        const auto statuses = rig.host.statusTexts;
        EXPECT_EQ(c.text != nullptr,
                  std::find(statuses.begin(), statuses.end(), c.text ? c.text : "") != statuses.end());
        if (c.text != nullptr) {
            // The bar counts the wait from empty, a hundredth per timer tick, and is full at its end.
            const std::vector<int> bar = TimedWaitPositions(rig.host, c.text);
            ASSERT_FALSE(bar.empty());
            EXPECT_EQ(bar.front(), 0);
            EXPECT_EQ(bar.back(), 100);
            EXPECT_TRUE(std::is_sorted(bar.begin(), bar.end()));
            EXPECT_GE(bar.size(), 50U) << "the timer did not step the bar";
            EXPECT_THAT(rig.host.Changes("ProgressBarTimer", "Interval"),
                        ElementsAre(std::to_string(c.eraseMs / 100)));
        }
    }
    // A radio that erases longer than the wait loses the code image's start.
    Rig rig({"--erase-ms", std::to_string(Clock::TicksToMilliseconds(1440) * 12 / 10)}, k8400Series4,
            2000.0 / static_cast<double>(Clock::TicksToMilliseconds(1440)));
    EXPECT_EQ(rig.Download(loader, code), ProgrammingStatus::TimedOut);
    EXPECT_THAT(rig.sim.Log(), HasSubstr("lost 02 01"));
}

TEST(DspDownloadE2eTest, TheRadioReceivesBothPagesAsTheSectionsLayThemOut)
{
    // Sections on pages 0 and 6 (and one on page 1, which is not downloaded).
    const auto put = [](std::string& f, std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            f[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
        }
    };
    struct Sect
    {
        int page;
        std::uint32_t address;
        std::uint32_t words;
    };
    const Sect sections[] = {
        {0, 0x0000, 0x0300}, {1, 0x0000, 0x0040}, {6, 0x0100, 0x0500}, {0, 0x0400, 0x0080}};
    std::string object(22 + 28 + 40 * std::size(sections), '\0');
    put(object, 2, std::size(sections), 2);
    put(object, 16, 28, 2);
    Bytes page0;
    Bytes page6;
    for (std::size_t i = 0; i < std::size(sections); ++i) {
        const Sect& s = sections[i];
        const std::size_t h = 50 + 40 * i;
        put(object, h + 12, s.address, 4);
        put(object, h + 16, s.words, 4);
        put(object, h + 20, static_cast<std::uint32_t>(object.size()), 4);
        object[h + 39] = static_cast<char>(s.page);
        Bytes data(s.words * 2);
        for (std::size_t k = 0; k < data.size(); ++k) {
            data[k] = static_cast<std::uint8_t>(k * 31 + i);
        }
        object.append(data.begin(), data.end());
        Bytes* page = s.page == 0 ? &page0 : s.page == 6 ? &page6 : nullptr;
        if (page != nullptr) {
            page->resize(std::max<std::size_t>(page->size(), s.address * 2 + data.size()), 0);
            std::copy(data.begin(), data.end(), page->begin() + s.address * 2);
        }
    }
    for (Bytes* page : {&page0, &page6}) {
        page->resize((page->size() + 255) / 256 * 256, 0x20);
    }

    Rig rig({"--erase-ms", "0"}, k8600Series4, 0.1);
    ASSERT_TRUE(rig.form->OpenRadioLink(false));
    std::istringstream loader("S31500008000000102030405060708090A0B0C0D0E0F00\nS9030000FC\n");
    std::istringstream dsp(object, std::ios::binary);
    EXPECT_EQ(DownloadDsp(rig.form->RadioLink, loader, dsp, rig.form->RadioTypeCode,
                          rig.form->StatusCallbackForDownloads(), {}, rig.form->m_ProgressBarDisplay),
              ProgrammingStatus::Success)
        << rig.sim.Log();
    EXPECT_EQ(rig.form->m_StatusLabel.Caption(), "Download finished");
    EXPECT_EQ(ReadBytes(rig.Dump("dsp-page-1")), page0);
    EXPECT_EQ(ReadBytes(rig.Dump("dsp-page-2")), page6);
    EXPECT_TRUE(rig.Logged("DSP download ended after 2 pages")) << rig.sim.Log();
}

TEST(ConsoleE2eTest, RetrievePrintsTheVersionGroup)
{
    Scratch dumps;
    test::RadioSimProcess sim(WithScale({"--serial", "0A 0B 0C 0D 0E 0F 10 FF"}, 0.05, dumps));
    const std::string command = "AUREX_COM1=" + sim.DevicePath() +
                                " AUREX_TIME_SCALE=0.05 QT_QPA_PLATFORM=offscreen " AUREX_UPDATER +
                                " --console --port 1 --retrieve 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        out += buffer;
    }
    const int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << out << sim.Log();
    EXPECT_THAT(out, HasSubstr("Radio Serial Number:"));
    EXPECT_THAT(out, HasSubstr("0A-0B-0C-0D-0E-0F-10-FF"));
    EXPECT_THAT(out, HasSubstr("Controller Version:"));
    EXPECT_THAT(out, HasSubstr("1.0.2")) << "platform 7 shows its hardware revision";
}

} // namespace
} // namespace aurex
