// The whole updater (the window model with its real link, timers and files) against the simulated
// radio when things go wrong: the line cut or Stop pressed after each frame of an update, a backup
// and a restore, a noisy line, and many updates in one program run that keeps its logs and
// history. The program runs in this process, as the console front end runs it, so its state,
// descriptors, memory and data folder can be looked at between runs.
//
// Sampling: by default each sweep takes a sample that keeps the test short; the environment
// widens it: AUREX_SWEEP=full (every frame of an update, a backup and a restore;
// AUREX_SWEEP_ONLY=stop or cut takes one of the two interruptions of an update),
// AUREX_CARRIED_SAMPLES=<points of an update of the carried set>, AUREX_NOISE_RUNS=<runs per rate>
// (AUREX_NOISE_SHARD=k/n takes every n-th seed from the k-th, so shards run side by side;
// AUREX_NOISE_FIRST_SEED=<seed> starts elsewhere than 1), AUREX_SOAK=<updates>. Each test prints
// its figures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "app/code_updater_main_form.h"
#include "app/codeplug_requests.h"
#include "app/run_recorder.h"
#include "app/timer_driver.h"
#include "app/window_rules.h"
#include "e2e_support.h"
#include "folder_blobs.h"
#include "history/update_history.h"
#include "image_store/embedded_blobs.h"
#include "image_store/working_folder.h"
#include "link/clock.h"
#include "link/serial_system.h"
#include "link/vnx_comm_device.h"
#include "support/pty_pair.h"
#include "support/recording_host.h"
#include "transfer/backup_catalog.h"
#include "transfer/backup_record.h"
#include "transfer/codeplug_backup.h"

namespace aurex::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "hardening_e2e_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = [] {
        auto* a = new QCoreApplication(argc, argv);
        // Backups go where the real program puts them.
        QCoreApplication::setApplicationName("Aurex Code Updater");
        return a;
    }();
    return *app;
}

unsigned EnvCount(const char* name, unsigned fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
}

// The platform's serial functions, counting the frames the program writes (a frame ends with
// the only unstuffed 7E), so a test can act right after frame i has gone out.
class FrameCountingSystem final : public SerialSystem
{
  public:
    unsigned frames = 0;
    std::function<void(unsigned)> afterFrame;

    SerialOpenResult Open(const std::string& path) override { return real_.Open(path); }
    PortOpenResult Probe(const std::string& path) override { return real_.Probe(path); }
    SerialResult ClaimExclusive(SerialHandle h) override { return real_.ClaimExclusive(h); }
    void Close(SerialHandle h) override { real_.Close(h); }
    LowLatencyResult RequestLowLatency(SerialHandle h) override { return real_.RequestLowLatency(h); }
    void RestoreLowLatency(SerialHandle h) override { real_.RestoreLowLatency(h); }
    bool OffersRs485(SerialHandle h) override { return real_.OffersRs485(h); }
    SerialResult Configure(SerialHandle h, const SerialConfig& c) override { return real_.Configure(h, c); }
    int BytesQueued(SerialHandle h) override { return real_.BytesQueued(h); }
    std::uint32_t TakeLineErrors(SerialHandle h) override { return real_.TakeLineErrors(h); }
    bool WaitForInput(SerialHandle h, int ms) override { return real_.WaitForInput(h, ms); }
    long Read(SerialHandle h, void* b, std::size_t n, const SerialTimeouts& t) override
    {
        return real_.Read(h, b, n, t);
    }
    long Write(SerialHandle h, const void* data, std::size_t n, const SerialTimeouts& t) override
    {
        const long written = real_.Write(h, data, n, t);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (long i = 0; i < written; ++i) {
            if (bytes[i] == 0x7E) {
                ++frames;
                if (afterFrame) {
                    afterFrame(frames);
                }
            }
        }
        return written;
    }
    SerialResult Drain(SerialHandle h) override { return real_.Drain(h); }
    SerialResult Discard(SerialHandle h, bool in, bool out) override { return real_.Discard(h, in, out); }
    SerialResult SetModemLine(SerialHandle h, ModemLine l, bool r) override
    {
        return real_.SetModemLine(h, l, r);
    }
    int ModemStatus(SerialHandle h) override { return real_.ModemStatus(h); }
    SerialResult SetKernelHalfDuplex(SerialHandle h, bool on) override
    {
        return real_.SetKernelHalfDuplex(h, on);
    }
    bool HungUp(SerialHandle h) override { return real_.HungUp(h); }

  private:
    SerialSystem& real_ = PlatformSerialSystem();
};

// Resident memory in kB and open descriptors of this process.
long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

int OpenDescriptors()
{
    return static_cast<int>(Entries("/proc/self/fd").size());
}

// Failed expectations of the running test so far: a sweep tells which cases failed.
int FailureCount()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// AUREX_SIM_VERBOSE=1 has the radio log every frame, for a failure's report.
// The program runs on the radio's time factor, that of the other end-to-end tests: the box probe
// waits 200 ms and a reply 800 ms. At 0.1 (100 ms and 400 ms) a loaded machine kept the radio
// from answering in time now and then, and these runs wait for thousands of replies.
constexpr double kProgramTimeScale = kTimeScale;

const std::vector<std::string> kHealthyRadio = [] {
    std::vector<std::string> settings = {"--boot-version", "6.0"};
    if (const char* v = std::getenv("AUREX_SIM_VERBOSE"); v != nullptr && *v == '1') {
        settings.push_back("--verbose");
    }
    return settings;
}();

// An image set, the updater that carries it and a healthy radio that fits it.
struct Carrying
{
    const char* setFolder;
    const char* updaterPath;
    std::vector<std::string> radio;
};

// The small application set (8600, series 6): an update takes a few hundred frames.
const Carrying kSmallSet{AUREX_SET_APPLICATION, AUREX_UPDATER_APPLICATION, kHealthyRadio};

// The set the real program carries (8600, series 4): some 40,000 frames and an 80 s erase wait.
const Carrying kCarriedSet{AUREX_SET_CARRIED, AUREX_UPDATER_CARRIED, [] {
                               std::vector<std::string> settings = kHealthyRadio;
                               settings[1] = "4.0";
                               return settings;
                           }()};

// One program run of an updater carrying `set`, its COM 1 pointed at whichever radio a run is
// given. The password is typed once, at the first Start.
class Program
{
  public:
    // Kept: run logs and the update history in the data folder, as both front ends keep them.
    enum class Records { None, Kept };

    explicit Program(const Carrying& set = kSmallSet, Records records = Records::None) : carrying(set)
    {
        App();
        Clock::SetScale(kProgramTimeScale);
        ::setenv("XDG_DATA_HOME", data.path.c_str(), 1);
        MainFormEnvironment env;
        env.blobs = std::make_shared<FolderBlobs>(set.setFolder);
        env.programPath = set.updaterPath;
        env.workingFolder = std::make_shared<DiskFolder>(work.path);
        if (records == Records::Kept) {
            env.dataFolder = UserDataFolder();
        }
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, std::move(env));
        host.Attach(*form);
        timers = std::make_unique<TimerDriver>(*form);
        form->RadioLink.makeDevice = [this] { return std::make_unique<VNXCommDeviceSerial>(system); };
        host.passwords.push_back({"brontel"});
    }
    ~Program()
    {
        timers.reset();
        form.reset();
        Clock::SetScale(1.0);
    }

    struct Outcome
    {
        std::vector<std::string> statuses;
        std::vector<std::string> messages;            // caption: text
        int stopQuestions = 0;                        // Stop's own question (answered Yes), not in messages
        std::optional<CodeplugRequestResult> request; // what a backup or restore returned
        std::string last;
        double seconds = 0;
        bool Done() const { return last == "Done."; }
        std::string Describe() const
        {
            std::string text;
            for (const auto& s : statuses) {
                text += "  status: " + s + "\n";
            }
            for (const auto& m : messages) {
                text += "  box: " + m + "\n";
            }
            return text;
        }
    };

    // Clicks Start with COM 1 on `device` and returns when the click handler has.
    Outcome Update(const std::string& device)
    {
        return Run(device, [this] { form->m_StartButton.Click(); });
    }
    // Puts the backup at `path` back into the radio on `device`.
    Outcome Restore(const std::string& device, const std::string& path)
    {
        CodeplugRequestResult result{};
        Outcome out = Run(device, [this, &path, &result] { result = form->RestoreCodeplug(path); });
        out.request = result;
        return out;
    }
    // Reads the radio on `device` into a backup.
    Outcome BackUp(const std::string& device)
    {
        CodeplugRequestResult result{};
        Outcome out = Run(device, [this, &result] { result = form->BackUpCodeplug(); });
        out.request = result;
        return out;
    }

    Outcome Run(const std::string& device, const std::function<void()>& action)
    {
        test::ScopedComOverride com(1, device);
        // Capacity is kept: the recording costs no new memory once the first run has grown it.
        host.statusTexts.clear();
        host.messages.clear();
        host.changes.clear();
        system.frames = 0;
        stoppedAt.reset();
        const auto start = std::chrono::steady_clock::now();
        action();
        ++runs_;
        Outcome out;
        out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        out.statuses = host.statusTexts;
        for (const auto& m : host.messages) {
            if (m.text == kStopDuringCodeDownloadText) {
                ++out.stopQuestions;
            } else {
                out.messages.push_back(m.caption + ": " + m.text);
            }
        }
        out.last = form->m_StatusLabel.Caption();
        return out;
    }

    // Presses Stop, as a user would, once the event loop next turns during this run; the status
    // then shown is kept in stoppedAt.
    void StopSoon()
    {
        const unsigned run = runs_;
        QTimer::singleShot(0, [this, run] {
            if (runs_ == run && form->m_UpdateInProgress) {
                stoppedAt = form->m_StatusLabel.Caption();
                form->m_StartButton.Click();
            }
        });
    }
    std::optional<std::string> stoppedAt;

    // The window is idle and the port free again; the descriptors are back to `descriptors`.
    void ExpectIdle(int descriptors) const
    {
        EXPECT_FALSE(form->m_UpdateInProgress);
        EXPECT_FALSE(form->m_ClickHandlerRunning);
        EXPECT_EQ(form->m_StartButton.Caption(), "Start");
        EXPECT_TRUE(form->m_StartButton.Enabled());
        EXPECT_TRUE(form->m_ComportComboBox.Enabled());
        EXPECT_TRUE(form->m_RetrieveVersionInfoButton.Enabled());
        EXPECT_EQ(form->m_PortTable[1], kPortAvailable);
        EXPECT_EQ(OpenDescriptors(), descriptors) << "a descriptor (the port?) is left open";
        // Merged images are deleted at the end of every run.
        EXPECT_THAT(Entries(work.path), IsEmpty());
    }

    std::vector<fs::path> Backups() const { return BackupsBelow(data.path); }
    // The backups and their records; run logs and the history stay.
    void ClearBackups() const
    {
        for (const fs::path& f : FilesBelow(CodeplugBackupFolder())) {
            fs::remove(f);
        }
    }

    const Carrying& carrying;
    Scratch work{"hardening-work"};
    Scratch data{"hardening-data"};
    testing::RecordingHost host;
    FrameCountingSystem system;
    std::unique_ptr<TCodeUpdaterMainDispForm> form;
    std::unique_ptr<TimerDriver> timers;

  private:
    unsigned runs_ = 0;
};

bool Has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// What a healthy update does, as the reference for every faulty one.
struct Reference
{
    unsigned frames = 0;      // frames the program wrote
    unsigned backupFrame = 0; // frames written once the codeplug upload had ended
    Bytes backup;             // the codeplug as read out of the radio
    Bytes code;               // the application image as flashed
};

// "Done." is only ever true: the radio holds the whole new code and the converted codeplug.
void ExpectDoneIsTrue(const Program::Outcome& run, const std::vector<std::string>& dumps,
                      SimulatedRadio& radio, const Reference& ref)
{
    if (!run.Done()) {
        return;
    }
    EXPECT_TRUE(Has(dumps, "02-code.bin") && Has(dumps, "03-codeplug.bin"))
        << "\"Done.\" without the whole update in the radio\n"
        << run.Describe() << ::testing::PrintToString(dumps);
    if (Has(dumps, "02-code.bin")) {
        EXPECT_EQ(ReadBytes(radio.DumpFolder() / "02-code.bin"), ref.code);
    }
    if (Has(dumps, "03-codeplug.bin")) {
        EXPECT_THAT(CodeplugInfo(radio.DumpFolder() / "03-codeplug.bin"), HasSubstr("format 5.10"));
    }
}

// The status texts of the codeplug step, from the restart wait to the read-back.
bool IsCodeplugStepStatus(const std::string& status)
{
    return status == "Resetting radio..." || status == "Uploading codeplug..." ||
           status == "Resetting radio and converting codeplug..." || status == "Downloading codeplug..." ||
           status == "Resetting radio and verifying codeplug..." || status == "Reading codeplug back...";
}

// The status texts while the loader, the erase wait and the code go into the radio.
bool IsCodeDownloadStatus(const std::string& status)
{
    return status == "Preparing to download ..." || status.rfind("Erasing flash", 0) == 0 ||
           (status.rfind("Downloading ", 0) == 0 && status != "Downloading codeplug...");
}

// A failed run says what failed: its last status is a failure text (not a running step's "...",
// not "Idle" unless a message box said why, or the user stopped the run before anything failed).
void ExpectFailureNamed(const Program::Outcome& run, bool stopped = false)
{
    if (run.Done()) {
        return;
    }
    const bool running = run.last.size() >= 3 && run.last.compare(run.last.size() - 3, 3, "...") == 0;
    EXPECT_FALSE(running) << "the run ended on a running step's text\n" << run.Describe();
    EXPECT_TRUE((!run.last.empty() && run.last != "Idle" && run.last != "Download finished.") ||
                !run.messages.empty() || (stopped && run.last == "Idle"))
        << "nothing says what failed\n"
        << run.Describe();
}

// Where the run got past the codeplug upload, the backup is there and whole; before, none.
void ExpectBackup(const Program& program, bool pastUpload, const Reference& ref, const std::string& where)
{
    const auto backups = program.Backups();
    if (pastUpload) {
        ASSERT_EQ(backups.size(), 1U) << where;
        EXPECT_EQ(ReadBytes(backups[0]), ref.backup) << where << ": the backup is not the codeplug read out";
    } else {
        EXPECT_THAT(backups, IsEmpty()) << where;
    }
    program.ClearBackups();
}

Reference MakeReference(Program& program)
{
    SimulatedRadio radio(program.carrying.radio);
    Reference ref;
    bool uploadEndSeen = false;
    program.system.afterFrame = nullptr;
    // The frame count at the moment the conversion starts: the upload has ended by then.
    struct Watch : ControlListener
    {
        Program* program;
        Reference* ref;
        bool* seen;
        void ControlChanged(const FormModel&, const Control* c, ControlProperty what) override
        {
            if (c == &program->form->m_StatusLabel && what == ControlProperty::Caption && !*seen &&
                c->Caption() == "Resetting radio and converting codeplug...") {
                *seen = true;
                ref->backupFrame = program->system.frames;
            }
        }
    } watch;
    watch.program = &program;
    watch.ref = &ref;
    watch.seen = &uploadEndSeen;
    program.form->AddListener(&watch);
    const Program::Outcome run = program.Update(radio.Device());
    program.form->RemoveListener(&watch);
    EXPECT_TRUE(run.Done()) << run.Describe() << radio.Log();
    ref.frames = program.system.frames;
    ref.code = SRecordData(ImageText(program.carrying.setFolder, "CODE"));
    const auto backups = program.Backups();
    EXPECT_EQ(backups.size(), 1U);
    if (!backups.empty()) {
        ref.backup = ReadBytes(backups[0]);
    }
    program.ClearBackups();
    EXPECT_TRUE(uploadEndSeen);
    EXPECT_FALSE(ref.backup.empty());
    return ref;
}

// The frames after which a sweep cuts or stops: every one with AUREX_SWEEP=full, else a sample
// spread evenly over the run plus the frames around the end of the upload.
std::vector<unsigned> SweepPoints(const Reference& ref, bool& full)
{
    const char* mode = std::getenv("AUREX_SWEEP");
    full = mode != nullptr && std::string(mode) == "full";
    std::set<unsigned> points;
    if (full) {
        for (unsigned i = 1; i <= ref.frames; ++i) {
            points.insert(i);
        }
    } else {
        const unsigned samples = EnvCount("AUREX_SWEEP_SAMPLES", 5);
        for (unsigned k = 0; k < samples; ++k) {
            points.insert(1 + k * (ref.frames - 1) / std::max(1U, samples - 1));
        }
        points.insert(ref.backupFrame - 1);
        points.insert(ref.backupFrame);
        // The last verdict: the radio's next request is answered with the end of the transfer,
        // which no reply confirms.
        points.insert(ref.frames - 1);
    }
    if (const char* list = std::getenv("AUREX_SWEEP_POINTS"); list != nullptr && *list != '\0') {
        // A comma-separated list of frames, to look at one case again.
        points.clear();
        std::stringstream items(list);
        std::string item;
        while (std::getline(items, item, ',')) {
            points.insert(static_cast<unsigned>(std::strtoul(item.c_str(), nullptr, 10)));
        }
    }
    // AUREX_SWEEP_SHARD=k/n takes every n-th point from the k-th: shards run side by side.
    unsigned shard = 0;
    unsigned shards = 1;
    if (const char* text = std::getenv("AUREX_SWEEP_SHARD"); text != nullptr && *text != '\0') {
        std::sscanf(text, "%u/%u", &shard, &shards);
        shards = std::max(1U, shards);
    }
    std::vector<unsigned> taken;
    unsigned index = 0;
    for (const unsigned p : points) {
        if (index++ % shards == shard) {
            taken.push_back(p);
        }
    }
    return taken;
}

// Cuts the line and presses Stop after each frame of `points`; every case must fail cleanly (or
// be a true "Done.") and leave a program whose next update on a healthy line succeeds.
void Sweep(Program& program, const Reference& ref, const std::vector<unsigned>& points, const char* what)
{
    const std::vector<std::string>& healthyRadio = program.carrying.radio;
    const int descriptors = OpenDescriptors();
    program.ExpectIdle(descriptors);
    std::map<std::string, int> outcomes;
    int cases = 0;
    int failures = 0;
    double worst = 0;

    const char* only = std::getenv("AUREX_SWEEP_ONLY");
    const std::string onlyKind = only != nullptr ? only : "";
    for (const unsigned i : points) {
        for (const bool cut : {true, false}) {
            if ((cut && onlyKind == "stop") || (!cut && onlyKind == "cut")) {
                continue;
            }
            const std::string where =
                (cut ? "line cut after frame " : "Stop after frame ") + std::to_string(i);
            SCOPED_TRACE(where);
            const int failuresBefore = FailureCount();
            ++cases;
            std::vector<std::string> settings = healthyRadio;
            if (cut) {
                settings.insert(settings.end(), {"--drop-after", std::to_string(i)});
                program.system.afterFrame = nullptr;
            } else {
                program.system.afterFrame = [&program, i](unsigned frame) {
                    if (frame == i) {
                        program.StopSoon();
                    }
                };
            }
            SimulatedRadio radio(settings);
            const Program::Outcome run = program.Update(radio.Device());
            program.system.afterFrame = nullptr;
            worst = std::max(worst, run.seconds);
            const bool stoppedInCodeplugStep = program.stoppedAt && IsCodeplugStepStatus(*program.stoppedAt);
            ++outcomes[(cut                     ? "cut: "
                        : stoppedInCodeplugStep ? "stop in the codeplug step: "
                                                : "stop: ") +
                       run.last];
            std::printf("%s: %s%s\n", where.c_str(), run.last.c_str(),
                        run.messages.empty() ? "" : (", box " + run.messages[0].substr(0, 40)).c_str());
            const auto dumps = radio.StopAndListDumps();
            ExpectDoneIsTrue(run, dumps, radio, ref);
            ExpectFailureNamed(run, !cut);
            // Whatever the outcome, a codeplug the radio took is the whole converted one.
            if (Has(dumps, "03-codeplug.bin")) {
                EXPECT_THAT(CodeplugInfo(radio.DumpFolder() / "03-codeplug.bin"), HasSubstr("format 5.10"));
            }
            // Once the new code is in the radio, a Stop does not cut the codeplug step short: on a
            // healthy line it ends "Done." with the codeplug converted.
            if (stoppedInCodeplugStep) {
                EXPECT_TRUE(run.Done()) << "stopped at " << *program.stoppedAt << "\n" << run.Describe();
            }
            if (!cut) {
                // The user knows why the run ended: no box blames the radio or the computer. Stop
                // asks first only while the code goes into the radio.
                EXPECT_THAT(run.messages, IsEmpty()) << run.Describe();
                EXPECT_LE(run.stopQuestions, 1) << run.Describe();
                if (run.stopQuestions == 1) {
                    EXPECT_TRUE(program.stoppedAt && IsCodeDownloadStatus(*program.stoppedAt))
                        << program.stoppedAt.value_or("(not stopped)");
                }
            }
            program.ExpectIdle(descriptors);
            // A backup exists exactly when the run got as far as the conversion.
            ExpectBackup(program, Has(run.statuses, "Resetting radio and converting codeplug..."), ref,
                         where);
            if (cut && i >= ref.backupFrame) {
                EXPECT_TRUE(Has(run.statuses, "Resetting radio and converting codeplug..."))
                    << run.Describe();
            }

            // The same program, a healthy line: the update goes through.
            SimulatedRadio healthy(healthyRadio);
            const Program::Outcome again = program.Update(healthy.Device());
            EXPECT_TRUE(again.Done()) << again.Describe() << healthy.Log();
            program.ExpectIdle(descriptors);
            program.ClearBackups();
            if (FailureCount() != failuresBefore) {
                ++failures;
                std::printf("FAILED CASE: %s\n%s", where.c_str(), run.Describe().c_str());
            }
        }
    }
    std::printf(
        "interruption sweep (%s): %u frames in an update, upload ends by frame %u, %d cases, %d failed, "
        "longest interrupted run %.1f s\n",
        what, ref.frames, ref.backupFrame, cases, failures, worst);
    for (const auto& [text, count] : outcomes) {
        std::printf("  %4d x %s\n", count, text.c_str());
    }
}

// One codeplug request (a backup or a restore) on a radio started normally, to be cut or stopped
// after each frame of a sweep; `check` judges a case by what the program said and what the radio
// took (its dumps).
struct RequestSweep
{
    const char* what;
    std::vector<std::string> radio;
    std::function<Program::Outcome(Program&, const std::string& device)> run;
    std::function<void(Program&, const Program::Outcome&, SimulatedRadio&,
                       const std::vector<std::string>& dumps)>
        check;
};

// Cuts the line and presses Stop after each frame of a request of `frames`: every one with
// AUREX_SWEEP=full, else AUREX_SWEEP_SAMPLES (4) spread from the first to the last, and the
// second and third. Each case must fail cleanly or be a true success and leave the program idle.
void SweepRequest(Program& program, const RequestSweep& sweep, unsigned frames)
{
    const char* mode = std::getenv("AUREX_SWEEP");
    const bool full = mode != nullptr && std::string(mode) == "full";
    const unsigned samples = EnvCount("AUREX_SWEEP_SAMPLES", 4);
    std::set<unsigned> points;
    for (unsigned k = 0; full ? k < frames : k < samples; ++k) {
        points.insert(full ? k + 1 : 1 + k * (frames - 1) / std::max(1U, samples - 1));
    }
    // The first requests after the box probe (the identity, then the format or the upload): a
    // Stop while they wait must not read as a radio that did not answer.
    points.insert({2, 3});
    const int descriptors = OpenDescriptors();
    std::map<std::string, int> outcomes;
    int failures = 0;
    for (const unsigned i : points) {
        for (const bool cut : {true, false}) {
            const std::string where =
                (cut ? "line cut after frame " : "Stop after frame ") + std::to_string(i);
            SCOPED_TRACE(where);
            const int failuresBefore = FailureCount();
            std::vector<std::string> settings = sweep.radio;
            if (cut) {
                settings.insert(settings.end(), {"--drop-after", std::to_string(i)});
            } else {
                program.system.afterFrame = [&program, i](unsigned frame) {
                    if (frame == i) {
                        program.StopSoon();
                    }
                };
            }
            SimulatedRadio radio(settings);
            const Program::Outcome run = sweep.run(program, radio.Device());
            program.system.afterFrame = nullptr;
            // Statuses name files that differ from case to case: the text before a path counts.
            ++outcomes[(cut ? "cut: " : "stop: ") +
                       run.last.substr(0, std::min<std::size_t>(run.last.find('/'), 70))];
            std::printf("%s: %s\n", where.c_str(), run.last.c_str());
            const auto dumps = radio.StopAndListDumps();
            ExpectFailureNamed(run, !cut);
            // A Stop that cut the request short is recorded as one, not blamed on the radio.
            const bool wrote = run.request == CodeplugRequestResult::BackedUp ||
                               run.request == CodeplugRequestResult::Restored ||
                               run.request == CodeplugRequestResult::NotVerified;
            if (!cut && program.stoppedAt && !wrote) {
                EXPECT_EQ(program.form->m_LastRunResult, RunResult::Stopped) << run.Describe();
                EXPECT_THAT(run.last, Not(HasSubstr("did not answer"))) << run.Describe();
            }
            sweep.check(program, run, radio, dumps);
            program.ExpectIdle(descriptors);
            program.ClearBackups();
            if (FailureCount() != failuresBefore) {
                ++failures;
                std::printf("FAILED CASE: %s\n%s", where.c_str(), run.Describe().c_str());
            }
        }
    }
    std::printf("%s sweep (%s): %u frames in a %s, %zu cases, %d failed\n", sweep.what,
                full ? "full" : "sample", frames, sweep.what, 2 * points.size(), failures);
    for (const auto& [text, count] : outcomes) {
        std::printf("  %4d x %s\n", count, text.c_str());
    }
}

// A backup claimed is the radio's codeplug byte for byte, with its record, and the restore
// dialog lists it; a failed one leaves nothing there at all.
void ExpectBackupHonest(const Program& program, const Program::Outcome& run, const Bytes& codeplug)
{
    const bool claimed = run.last.rfind("Codeplug backed up to ", 0) == 0;
    EXPECT_EQ(claimed, run.request == CodeplugRequestResult::BackedUp) << run.Describe();
    const std::vector<BackupEntry> listed = ListCodeplugBackups(CodeplugBackupFolder());
    if (!claimed) {
        EXPECT_EQ(listed.size(), 0U) << "a failed backup is listed\n" << run.Describe();
        EXPECT_THAT(FilesBelow(CodeplugBackupFolder()), IsEmpty()) << run.Describe();
        return;
    }
    const auto backups = program.Backups();
    ASSERT_EQ(backups.size(), 1U) << run.Describe();
    EXPECT_EQ(run.last, "Codeplug backed up to " + backups[0].string() + ".");
    EXPECT_EQ(ReadBytes(backups[0]), codeplug) << "the backup is not the radio's codeplug";
    const BackupRecordRead record = ReadBackupRecord(ReadFile(BackupRecordPath(backups[0].string())));
    ASSERT_TRUE(record.record) << record.error;
    EXPECT_EQ(record.record->lengthBytes, codeplug.size());
    EXPECT_EQ(record.record->reason, BackupReason::OnRequest);
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_TRUE(listed[0].hasRecord);
    EXPECT_EQ(listed[0].problem, "");
}

// A backup cut or stopped after a frame: the radio's codeplug is untouched (a backup only reads),
// a backup claimed is whole and recorded, a failed one leaves nothing to restore, and the next
// backup of the same program succeeds.
TEST(HardeningE2eTest, BackupCutOrStoppedAfterEveryFrameSavesTheWholeCodeplugOrNothing)
{
    Program program;
    // The radio serves a codeplug file: what it holds is known byte for byte. The file is a
    // backup of the simulator's own codeplug.
    const Scratch kept("backup-sweep");
    const fs::path held = kept.path / "held.bin";
    {
        SimulatedRadio radio({"--mode", "application"});
        const Program::Outcome made = program.BackUp(radio.Device());
        ASSERT_EQ(program.Backups().size(), 1U) << made.Describe() << radio.Log();
        fs::copy_file(program.Backups()[0], held);
        program.ClearBackups();
    }
    const Bytes codeplug = ReadBytes(held);
    const std::vector<std::string> radioSettings = {"--mode", "application", "--codeplug", held.string()};
    unsigned frames = 0;
    {
        SimulatedRadio radio(radioSettings);
        const Program::Outcome run = program.BackUp(radio.Device());
        frames = program.system.frames;
        ASSERT_EQ(run.request, CodeplugRequestResult::BackedUp) << run.Describe() << radio.Log();
        ExpectBackupHonest(program, run, codeplug);
        EXPECT_THAT(radio.StopAndListDumps(), IsEmpty());
        program.ClearBackups();
    }
    const RequestSweep sweep{
        "backup", radioSettings, [](Program& p, const std::string& device) { return p.BackUp(device); },
        [&codeplug, &radioSettings](Program& p, const Program::Outcome& run, SimulatedRadio&,
                                    const std::vector<std::string>& dumps) {
            EXPECT_THAT(dumps, IsEmpty()) << "a backup wrote into the radio";
            ExpectBackupHonest(p, run, codeplug);
            p.ClearBackups();
            SimulatedRadio healthy(radioSettings);
            const Program::Outcome again = p.BackUp(healthy.Device());
            EXPECT_EQ(again.request, CodeplugRequestResult::BackedUp) << again.Describe() << healthy.Log();
            ExpectBackupHonest(p, again, codeplug);
        }};
    SweepRequest(program, sweep, frames);
}

// A restore cut or stopped after a frame: the radio ends with its old codeplug or the restored
// one, never a part of it; success is claimed only for the restored one read back equal, a write
// only when the radio took it; once the radio's codeplug was read out, its backup is on the disk
// beside the one restored.
TEST(HardeningE2eTest, RestoreCutOrStoppedAfterEveryFrameKeepsTheOldOrTheRestoredCodeplug)
{
    Program program;
    const std::vector<std::string> radioSettings = {"--mode", "application", "--format", "5.10"};
    // The backup to restore: the simulator's own 5.8 codeplug, read out of a radio.
    {
        SimulatedRadio radio(radioSettings);
        const Program::Outcome made = program.BackUp(radio.Device());
        ASSERT_EQ(program.Backups().size(), 1U) << made.Describe() << radio.Log();
    }
    const Scratch kept("restore-backup");
    const fs::path chosen = kept.path / "chosen.bin";
    fs::copy_file(program.Backups()[0], chosen);
    fs::copy_file(fs::path(BackupRecordPath(program.Backups()[0].string())),
                  BackupRecordPath(chosen.string()));
    program.ClearBackups();

    // The reference: a whole restore, its frames and what the radio took.
    Bytes restored;
    unsigned frames = 0;
    {
        SimulatedRadio radio(radioSettings);
        const Program::Outcome run = program.Restore(radio.Device(), chosen.string());
        frames = program.system.frames;
        ASSERT_EQ(run.last, "Codeplug restored and verified.") << run.Describe() << radio.Log();
        restored = ReadBytes(radio.Dump("codeplug"));
        ASSERT_FALSE(restored.empty());
        program.ClearBackups();
    }
    const RequestSweep sweep{
        "restore", radioSettings,
        [&chosen](Program& p, const std::string& device) { return p.Restore(device, chosen.string()); },
        [&chosen, &restored](Program& p, const Program::Outcome& run, SimulatedRadio& radio,
                             const std::vector<std::string>& dumps) {
            // The simulated radio takes a codeplug only once its transfer has ended: a dump is the
            // whole restored codeplug, else the radio kept its own.
            for (const std::string& name : dumps) {
                EXPECT_EQ(ReadBytes(radio.DumpFolder() / name), restored) << name;
            }
            EXPECT_EQ(run.last == "Codeplug restored and verified.",
                      run.request == CodeplugRequestResult::Restored)
                << run.Describe();
            // Restored or written without a read-back: the radio took it.
            if (run.request == CodeplugRequestResult::Restored ||
                run.request == CodeplugRequestResult::NotVerified) {
                EXPECT_FALSE(dumps.empty()) << run.Describe();
            }
            const bool readOut = Has(run.statuses, "Resetting radio and converting codeplug...");
            EXPECT_EQ(p.Backups().size(), readOut ? 1U : 0U) << run.Describe();
            EXPECT_TRUE(fs::exists(chosen));
        }};
    SweepRequest(program, sweep, frames);
}

TEST(HardeningE2eTest, LineCutOrStopAfterEveryFrameFailsCleanlyAndTheNextRunSucceeds)
{
    Program program;
    const Reference ref = MakeReference(program);
    ASSERT_GT(ref.frames, 0U);
    bool full = false;
    const std::vector<unsigned> points = SweepPoints(ref, full);
    Sweep(program, ref, points, full ? "full" : "sample");
}

// The carried set is too long for every frame: a sample of points spread over the loader, the
// erase, the 4 MB of code, the codeplug and its end. AUREX_CARRIED_SAMPLES=<n> sets how many
// spread points are taken; by default one, and none under the address sanitizer (minutes there).
TEST(HardeningE2eTest, LineCutOrStopDuringAnUpdateOfTheCarriedSetFailsCleanly)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr unsigned kDefaultSamples = 0;
#else
    constexpr unsigned kDefaultSamples = 1;
#endif
    const unsigned samples = EnvCount("AUREX_CARRIED_SAMPLES", kDefaultSamples);
    if (samples == 0) {
        GTEST_SKIP() << "AUREX_CARRIED_SAMPLES=0";
    }
    Program program(kCarriedSet);
    const Reference ref = MakeReference(program);
    ASSERT_GT(ref.frames, ref.backupFrame);
    std::set<unsigned> points;
    // One point is the middle of the code; more spread evenly from the first frame to the last.
    if (samples == 1) {
        points.insert(ref.frames / 3);
    } else {
        for (unsigned k = 0; k < samples; ++k) {
            points.insert(1 + k * (ref.frames - 1) / (samples - 1));
        }
        points.insert(ref.backupFrame);
        points.insert(ref.frames - 1);
    }
    Sweep(program, ref, std::vector<unsigned>(points.begin(), points.end()), "carried set");
}

TEST(HardeningE2eTest, NoisyLineNeverGivesAFalseSuccessAndEveryRunEnds)
{
    Program program;
    const Reference ref = MakeReference(program);
    const int descriptors = OpenDescriptors();
    const unsigned runs = EnvCount("AUREX_NOISE_RUNS", 3);
    // A seed strikes the same bytes whether they are lost or changed: other seeds, other places.
    const unsigned first = std::max(1U, EnvCount("AUREX_NOISE_FIRST_SEED", 1));
    // The runs mostly wait on the line: shards side by side get through thousands in reasonable time.
    unsigned shard = 0;
    unsigned shards = 1;
    if (const char* text = std::getenv("AUREX_NOISE_SHARD"); text != nullptr && *text != '\0') {
        std::sscanf(text, "%u/%u", &shard, &shards);
        shards = std::max(1U, shards);
    }
    // A failed run waits at most a few link time-outs per step; far more means a hang. The bound
    // is loose on purpose: the machine may be slow, a hang is endless.
    constexpr double kFailedRunBoundSeconds = 120;
    int falseSuccesses = 0;
    for (const char* rate : {"1e-3", "1e-4"}) {
        for (const char* fault : {"--noise-drop", "--noise-corrupt"}) {
            std::map<std::string, int> outcomes;
            double worstFailed = 0;
            double worstDone = 0;
            unsigned taken = 0;
            for (unsigned seed = first + shard; seed < first + runs; seed += shards) {
                ++taken;
                const std::string where = std::string(fault) + " " + rate + ", seed " + std::to_string(seed);
                SCOPED_TRACE(where);
                std::vector<std::string> settings = kHealthyRadio;
                settings.insert(settings.end(), {fault, rate, "--noise-seed", std::to_string(seed)});
                SimulatedRadio radio(settings);
                const Program::Outcome run = program.Update(radio.Device());
                ++outcomes[run.last];
                double& worst = run.Done() ? worstDone : worstFailed;
                worst = std::max(worst, run.seconds);
                if (!run.Done()) {
                    EXPECT_LT(run.seconds, kFailedRunBoundSeconds) << run.Describe();
                }
                const auto dumps = radio.StopAndListDumps();
                const int before = FailureCount();
                ExpectDoneIsTrue(run, dumps, radio, ref);
                if (FailureCount() != before) {
                    ++falseSuccesses;
                }
                ExpectFailureNamed(run);
                program.ExpectIdle(descriptors);
                // A backup that was made is the codeplug exactly as it is in the radio.
                for (const fs::path& b : program.Backups()) {
                    EXPECT_EQ(ReadBytes(b), ref.backup) << where;
                }
                program.ClearBackups();
            }
            std::printf("%s %s: %u runs, longest failed run %.1f s, longest successful run %.1f s\n", fault,
                        rate, taken, worstFailed, worstDone);
            for (const auto& [text, count] : outcomes) {
                std::printf("  %4d x %s\n", count, text.c_str());
            }
        }
    }
    std::printf("false successes: %d\n", falseSuccesses);
}

// Bytes of the regular files below a folder; 0 for one that does not exist.
std::uintmax_t BytesBelow(const fs::path& folder)
{
    std::uintmax_t total = 0;
    for (const fs::path& f : FilesBelow(folder)) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(f, ec);
        total += ec ? 0 : size;
    }
    return total;
}

// What the data folder holds after an update, the backups left out (one per update, by design).
struct DataFolderFigures
{
    std::size_t logs = 0;            // run logs kept
    std::size_t logFolderFiles = 0;  // every file in the logs folder
    std::uintmax_t logBytes = 0;     // the logs folder
    std::uintmax_t largestLog = 0;   // its largest log
    std::uintmax_t historyBytes = 0; // the history's database file
    std::uintmax_t walBytes = 0;     // its -wal and -shm files
};

DataFolderFigures MeasureDataFolder(const fs::path& dataFolder)
{
    DataFolderFigures figures;
    for (const fs::path& f : FilesBelow(dataFolder / "logs")) {
        if (f.extension() == ".log") {
            ++figures.logs;
            figures.largestLog = std::max<std::uintmax_t>(figures.largestLog, fs::file_size(f));
        }
    }
    figures.logFolderFiles = FilesBelow(dataFolder / "logs").size();
    figures.logBytes = BytesBelow(dataFolder / "logs");
    const std::string history = HistoryFileIn(dataFolder.string());
    std::error_code ec;
    const std::uintmax_t database = fs::file_size(history, ec);
    figures.historyBytes = ec ? 0 : database;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::uintmax_t size = fs::file_size(history + suffix, ec);
        figures.walBytes += ec ? 0 : size;
    }
    return figures;
}

// Updates radio after radio in one program run that keeps its run logs and history and verifies
// each codeplug written, as the program does by default: memory and descriptors stay flat, the
// logs rotate, the history grows by its rows alone.
TEST(HardeningE2eTest, ManyUpdatesInOneProgramRunKeepMemoryDescriptorsAndDataFolderBounded)
{
    const unsigned updates = std::max(4U, EnvCount("AUREX_SOAK", 10));
    Program program(kSmallSet, Program::Records::Kept);
    ASSERT_TRUE(program.form->m_FileVerifyMenuItem.Checked());
    const fs::path dataFolder = UserDataFolder();
    const std::size_t keptLogs = program.form->m_RunRecorder.settings.keptLogs;
    std::vector<long> rss;
    std::vector<int> fds;
    std::vector<DataFolderFigures> disk;
    std::uintmax_t largestLog = 0;
    for (unsigned n = 1; n <= updates; ++n) {
        // A radio in boot-load mode for every update, as on a technician's bench.
        SimulatedRadio radio(kHealthyRadio);
        const Program::Outcome run = program.Update(radio.Device());
        ASSERT_TRUE(run.Done()) << "update " << n << "\n" << run.Describe() << radio.Log();
        EXPECT_TRUE(Has(run.statuses, "Codeplug verified: the radio holds the codeplug written."))
            << run.Describe();
        EXPECT_EQ(program.Backups().size(), 1U);
        program.ClearBackups();
        rss.push_back(ResidentKb());
        fds.push_back(OpenDescriptors());
        disk.push_back(MeasureDataFolder(dataFolder));
        const DataFolderFigures& now = disk.back();
        largestLog = std::max(largestLog, now.largestLog);
        std::printf("update %3u: %s, resident %ld kB, %d open descriptors, %zu logs %ju kB, history %ju kB "
                    "+ wal %ju kB, data folder %ju kB\n",
                    n, run.last.c_str(), rss.back(), fds.back(), now.logs, now.logBytes / 1024,
                    now.historyBytes / 1024, now.walBytes / 1024, BytesBelow(dataFolder) / 1024);
        // The newest keptLogs stay, no more, and nothing else gathers beside them.
        EXPECT_EQ(now.logs, std::min<std::size_t>(n, keptLogs)) << "after update " << n;
        EXPECT_EQ(now.logFolderFiles, now.logs) << "after update " << n;
        EXPECT_LE(now.logBytes, keptLogs * largestLog) << "after update " << n;
    }
    const std::vector<HistoryRow> rows = program.form->m_RunRecorder.History()->Rows();
    ASSERT_EQ(rows.size(), updates);
    EXPECT_EQ(rows.back().resultCode, 0);
    EXPECT_EQ(rows.back().verification, "verified");
    // The first two updates warm up (Qt's notifiers, the allocator's pools, the lazily loaded
    // conversion tables, the history's connection); from then on nothing may grow with the number
    // of updates.
    constexpr std::size_t kWarmUp = 2;
    for (std::size_t i = kWarmUp; i < fds.size(); ++i) {
        EXPECT_EQ(fds[i], fds[kWarmUp - 1]) << "after update " << i + 1;
    }
    // Until the program closes the history, its rows gather in SQLite's write-ahead log, which is
    // checkpointed into the database at 1000 pages of 4 kB (each with a 24-byte header) and then
    // reused: the log with its index stays below that however many updates come.
    constexpr std::uintmax_t kWalBytes = 1100 * (4096 + 24) + 64 * 1024;
    for (std::size_t i = 0; i < disk.size(); ++i) {
        EXPECT_LE(disk[i].walBytes, kWalBytes) << "after update " << i + 1;
    }
    // Memory: the allocator may hold a little more or less from run to run; a leak of anything
    // of an update's size (the 32 KB codeplug, the 30 KB image) grows without end. Allowed:
    // 256 kB beyond the largest figure seen during the warm-up plus a 2 kB per update drift.
    // Under AddressSanitizer freed memory waits in its quarantine (up to 256 MB) before reuse, so
    // the resident size grows by design; there LeakSanitizer checks at exit instead.
#if !defined(__SANITIZE_ADDRESS__)
    const long base = *std::max_element(rss.begin(), rss.begin() + kWarmUp);
    for (std::size_t i = kWarmUp; i < rss.size(); ++i) {
        EXPECT_LE(rss[i], base + 256 + 2 * static_cast<long>(i)) << "after update " << i + 1;
    }
#endif
    const auto largestWal = std::max_element(disk.begin(), disk.end(), [](const auto& a, const auto& b) {
                                return a.walBytes < b.walBytes;
                            })->walBytes;
    // The program ends: its rows are checkpointed into the database, which grows by a row per run.
    program.timers.reset();
    program.form.reset();
    const DataFolderFigures closed = MeasureDataFolder(dataFolder);
    constexpr std::uintmax_t kRowBytes = 2048;
    EXPECT_LE(closed.historyBytes, 64 * 1024 + kRowBytes * updates);
    EXPECT_EQ(closed.walBytes, 0U);
    std::printf(
        "soak: %u updates, resident first %ld kB, last %ld kB, largest %ld kB; descriptors %d to %d; "
        "%zu logs kept (%ju kB, largest log %ju bytes); write-ahead log at most %ju kB; history at the "
        "end %ju kB, %.0f bytes per update\n",
        updates, rss.front(), rss.back(), *std::max_element(rss.begin(), rss.end()), fds.front(), fds.back(),
        disk.back().logs, disk.back().logBytes / 1024, largestLog, largestWal / 1024,
        closed.historyBytes / 1024, double(closed.historyBytes) / updates);
}

} // namespace
} // namespace aurex::e2e
