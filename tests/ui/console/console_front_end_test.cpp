#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/recording_host.h"
#include "ui/console/console_front_end.h"

namespace aurex {
namespace {

// A temporary file standing in for the terminal: input is written first, output read back.
class Stream
{
  public:
    explicit Stream(const std::string& content = "") : file_(std::tmpfile())
    {
        std::fputs(content.c_str(), file_);
        std::rewind(file_);
    }
    ~Stream() { std::fclose(file_); }
    std::FILE* get() const { return file_; }
    std::string Text() const
    {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            text.push_back(static_cast<char>(c));
        }
        return text;
    }

  private:
    std::FILE* file_;
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(ConsoleOptionsTest, AcceptsTheOptionsAndRefusesBadOnes)
{
    ConsoleOptions o;
    std::string error;
    ASSERT_TRUE(ParseConsoleOptions({"--console", "--port", "17", "--boot", "--password", " a b ", "--yes"},
                                    o, error));
    EXPECT_EQ(o.port, 17);
    EXPECT_TRUE(o.boot);
    EXPECT_EQ(o.password, " a b ");
    EXPECT_TRUE(o.yes);
    EXPECT_FALSE(o.retrieve);
    EXPECT_FALSE(o.noVerify);

    ConsoleOptions r;
    ASSERT_TRUE(ParseConsoleOptions({"--restore", "old.bin", "--other-radio", "--no-verify"}, r, error))
        << error;
    EXPECT_EQ(r.restore, "old.bin");
    EXPECT_TRUE(r.otherRadio);
    EXPECT_TRUE(r.noVerify);
    EXPECT_FALSE(r.backup);
    EXPECT_FALSE(r.json);

    ConsoleOptions j;
    ASSERT_TRUE(ParseConsoleOptions({"--backup", "--json"}, j, error)) << error;
    EXPECT_TRUE(j.json);
    EXPECT_NE(ConsoleUsage().find("  --json "), std::string::npos);

    ConsoleOptions w;
    ASSERT_TRUE(ParseConsoleOptions({"--wait-for-radio", "86400", "--repeat"}, w, error)) << error;
    EXPECT_EQ(w.waitForRadio, 86400);
    EXPECT_TRUE(w.repeat);

    ConsoleOptions many;
    ASSERT_TRUE(ParseConsoleOptions({"--port", "3", "--device", "/dev/ttyUSB0", "--no-verify"}, many, error))
        << error;
    EXPECT_EQ(many.ports,
              (std::vector<std::array<std::string, 2>>{{"--port", "3"}, {"--device", "/dev/ttyUSB0"}}));

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--port", "0"},
                                               {"--port", "65"},
                                               {"--port", "x1"},
                                               {"--port", "-3"},
                                               {"--port"},
                                               {"--password"},
                                               {"--frobnicate"},
                                               {"--boot", "--retrieve"},
                                               {"--device"},
                                               {"--device", ""},
                                               {"--port", "3", "--port", "3"},
                                               {"--port", "3", "--device", "/dev/ttyUSB0", "--retrieve"},
                                               {"--port", "3", "--port", "4", "--repeat"},
                                               {"--check-port", "99"},
                                               {"--check-port", "--retrieve"},
                                               {"--check-port", "2", "--password", "x"},
                                               {"--restore"},
                                               {"--restore", ""},
                                               {"--backup", "--retrieve"},
                                               {"--backup", "--restore", "a.bin"},
                                               {"--restore", "a.bin", "--boot"},
                                               {"--other-radio"},
                                               {"--backup", "--other-radio"},
                                               {"--backup", "--allow-losses"},
                                               {"--wait-for-radio"},
                                               {"--wait-for-radio", "86401"},
                                               {"--wait-for-radio", "-1"},
                                               {"--wait-for-radio", "2.5"},
                                               {"--wait-for-radio", "99999999999999999999"},
                                               {"--repeat", "--backup"},
                                               {"--wait-for-radio", "5", "--retrieve"},
                                               {"--history", "--json"},
                                               {"--force", "--retrieve"},
                                               {"--port", "1", "--port", "2", "--force"},
                                               {"--trace-codeplug-data"},
                                               {"--port", "1", "--port", "2", "--json"}}) {
        ConsoleOptions b;
        EXPECT_FALSE(ParseConsoleOptions(bad, b, error)) << bad.front();
        EXPECT_FALSE(error.empty());
    }
}

TEST(ConsoleOptionsTest, ThePortComesAsANumberOrADevicePath)
{
    struct Case
    {
        std::vector<std::string> args;
        std::optional<int> port;
        std::optional<std::string> device;
        bool check;
    };
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0";
    for (const Case& c :
         {Case{{"--device", byId}, {}, byId, false}, Case{{"--check-port", "17"}, 17, {}, true},
          Case{{"--check-port", byId}, {}, byId, true},
          Case{{"--check-port", "--device", byId}, {}, byId, true},
          Case{{"--port", "4", "--check-port"}, 4, {}, true}}) {
        ConsoleOptions o;
        std::string error;
        ASSERT_TRUE(ParseConsoleOptions(c.args, o, error)) << error;
        EXPECT_EQ(o.port, c.port) << c.args.front();
        EXPECT_EQ(o.device, c.device) << c.args.front();
        EXPECT_EQ(o.checkPort, c.check) << c.args.front();
    }
}

// A value-taking option given without its value, or with an empty one where it names something,
// says so in words of its own; an empty password is a password.
TEST(ConsoleOptionsTest, AMissingOrEmptyValueSaysWhatTheOptionTakes)
{
    for (const auto& [args, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--password"}, "--password needs a value"},
             {{"--radio-password"}, "--radio-password needs a value"},
             {{"--trace"}, "--trace needs a value"},
             {{"--device"}, "--device needs a value"},
             {{"--restore", ""}, "--restore takes the backup file to put back into the radio"},
             {{"--trace", ""}, "--trace takes the file to write the line trace to"},
             {{"--support-bundle", ""}, "--support-bundle takes the .tar.gz file to write"},
             {{"--device", ""},
              "--device takes a device path, such as /dev/ttyUSB0 or a /dev/serial/by-id name"},
             {{"--radio-password", "2468", "--radio-password-input"},
              "give either --radio-password or --radio-password-input, not both"}}) {
        ConsoleOptions o;
        std::string error;
        EXPECT_FALSE(ParseConsoleOptions(args, o, error)) << args.front();
        EXPECT_EQ(error, text);
    }
    ConsoleOptions o;
    std::string error;
    // A radio password is digits only: none is sent as another or as FF FF FF FF.
    for (const char* bad :
         {"", "abc", "\u0664\u0663\u0662\u0661", "12345678901234567890", "4321abc", "123456789"}) {
        EXPECT_FALSE(ParseConsoleOptions({"--radio-password", bad}, o, error)) << bad;
        EXPECT_EQ(error, "--radio-password takes the radio's codeplug password: 1 to 8 digits 0-9");
    }
    o = {};
    ASSERT_TRUE(
        ParseConsoleOptions({"--password", "", "--radio-password", "02468135", "--trace", "t.txt"}, o, error))
        << error;
    EXPECT_EQ(o.password, "");
    EXPECT_EQ(o.radioPassword, "02468135");
    EXPECT_EQ(o.trace, "t.txt");
    ConsoleOptions b;
    ASSERT_TRUE(ParseConsoleOptions({"--support-bundle", "b.tar.gz"}, b, error)) << error;
    EXPECT_EQ(b.supportBundle, "b.tar.gz");
}

TEST(ConsoleOptionsTest, ProgressBarShowsTheShareDone)
{
    EXPECT_EQ(ProgressBarText(0, 0, 100, 10), "[..........]   0%");
    EXPECT_EQ(ProgressBarText(50, 0, 100, 10), "[#####.....]  50%");
    EXPECT_EQ(ProgressBarText(100, 0, 100, 10), "[##########] 100%");
    EXPECT_EQ(ProgressBarText(150, 0, 100, 10), "[##########] 100%");
    EXPECT_EQ(ProgressBarText(3, 0, 6, 4), "[##..]  50%");
    EXPECT_EQ(ProgressBarText(0, 0, 0, 4), "[....]   0%");
}

// A signal during the codeplug step says the step is finished first, and why; elsewhere Stop.
TEST(ConsoleOptionsTest, EachTerminationHasItsNotice)
{
    using Termination = TCodeUpdaterMainDispForm::Termination;
    struct Case
    {
        Termination termination;
        bool again;
        std::string notice;
    };
    for (const Case& c : {
             Case{Termination::Stopping, false, "Stopping...\n"},
             Case{Termination::StillStopping, true,
                  "Still stopping: waiting for the step under way to end...\n"},
             Case{Termination::FinishingCodeplugStep, false,
                  "Stopping after the codeplug step: the new code is in the radio, and stopping now would "
                  "leave it a codeplug it cannot read.\n"},
             Case{Termination::FinishingCodeplugStep, true,
                  "Still finishing the codeplug step; the program ends when it is done.\n"},
         }) {
        EXPECT_EQ(TerminationNotice(c.termination, c.again), c.notice);
    }
    // The usage's last lines say the same.
    EXPECT_NE(ConsoleUsage().find("once the new code is in the radio,\nthe codeplug step is finished first"),
              std::string::npos);
}

TEST(ConsoleHostTest, MessageBoxesAreWrittenAndAnsweredAtThePrompt)
{
    ConsoleOptions options;
    Stream in("maybe\ny\nn\n");
    Stream out;
    ConsoleHost host(options, in.get(), out.get());
    testing::RecordingHost quiet;
    TCodeUpdaterMainDispForm form(quiet, testing::FakeEnvironment());

    EXPECT_EQ(host.ShowMessage(form, "Port gone.", "COM Port", MessageIcon::Error, MessageButtons::Ok),
              MessageAnswer::Ok);
    EXPECT_EQ(host.ShowMessage(form, "Quit?", "Confirm", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::Yes); // "maybe" is asked again
    EXPECT_EQ(host.ShowMessage(form, "Quit?", "Confirm", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::No);
    EXPECT_EQ(host.ShowMessage(form, "Quit?", "Confirm", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::No); // no more input: the safe answer
    const std::string text = out.Text();
    EXPECT_TRUE(Contains(text, "== COM Port (Error) ==\nPort gone.\n")) << text;
    EXPECT_TRUE(Contains(text, "== Confirm (Question) ==\nQuit?\n")) << text;

    ConsoleOptions yes;
    yes.yes = true;
    Stream none;
    ConsoleHost agreeing(yes, none.get(), out.get());
    EXPECT_EQ(agreeing.ShowMessage(form, "Quit?", "Confirm", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::Yes);
}

// The console tells what the window's lines under the bar tell: each step as it begins, the run's
// time beside a bar that ends full, the disconnect line when it changes, and the step where "Idle"
// only parts two steps; a run that ends at "Idle" still says so.
TEST(ConsoleHostTest, ARunShowsItsStepsItsTimeAndTheDisconnectLine)
{
    ConsoleOptions options;
    Stream in;
    Stream out;
    ConsoleHost host(options, in.get(), out.get());
    TCodeUpdaterMainDispForm form(host, testing::FakeEnvironment());
    double now = 0;
    form.m_Clock = [&now] { return now; };
    form.AddListener(&host);
    {
        TCodeUpdaterMainDispForm::RunRecordScope run(form, RunKind::Update);
        form.ShowStatus("Downloading Application code ...");
        form.m_ProgressBarDisplay.SetRange(0, 10);
        now = 75;
        ASSERT_TRUE(form.m_RunClockTimer.Fire());
        form.m_ProgressBarDisplay.SetPosition(10);
        for (const char* status : {"Download finished.", "Idle", "Resetting radio...", "Idle"}) {
            form.ShowStatus(status);
        }
    }
    form.RemoveListener(&host);
    const std::string text = out.Text();
    const std::string bar = "[" + std::string(30, '#') + "] 100%  1:15 elapsed, about ";
    EXPECT_EQ(text.substr(0, text.find(bar) + bar.size()),
              "Step 1 of 10: preparing the images\nDo not disconnect the radio.\n"
              "Status: Downloading Application code ...\nStep 5 of 10: code download\n" +
                  bar);
    EXPECT_TRUE(Contains(text, " left\nStatus: Download finished.\nStep 5 of 10: code download\n"
                               "Status: Resetting radio...\nStep 6 of 10: radio restart\n"
                               "Step 6 of 10: radio restart\nStatus: Idle\nThe radio has the new code"))
        << text;
}

TEST(ConsoleSessionTest, StatusTextsAndTheOutcomeDecideTheExitCode)
{
    ConsoleOptions options;
    options.password = "brontel";
    options.port = 5;
    Stream in;
    Stream out;
    ConsoleHost host(options, in.get(), out.get());
    TCodeUpdaterMainDispForm form(host, testing::FakeEnvironment({2}));
    form.AddListener(&host);
    EXPECT_EQ(RunConsoleSession(form, host, options, out.get()), 4); // the port cannot be opened
    form.RemoveListener(&host);
    const std::string text = out.Text();
    // COM 5 is absent: the session says so rather than falling back to COM 2.
    EXPECT_TRUE(Contains(text, "Port: COM 5\n")) << text;
    EXPECT_TRUE(Contains(text, "Status: Extracting embedded files...\n")) << text;
    EXPECT_TRUE(Contains(text, "Selected COM port is in use or not available.")) << text;
    EXPECT_TRUE(Contains(text, "Status: The selected COM port is in use or not available.\n")) << text;
    EXPECT_TRUE(form.m_PasswordAccepted);
}

// --check-port prints the check's report and exits 1 when it found a problem; a device path no
// COM number maps to is carried by a free one.
TEST(ConsoleSessionTest, CheckPortPrintsTheReportOfTheDeviceGiven)
{
    const std::string device = "/nonexistent/ttyDOCTOR0";
    for (const bool problem : {true, false}) {
        ConsoleOptions options;
        options.checkPort = true;
        options.device = device;
        Stream in;
        Stream out;
        ConsoleHost host(options, in.get(), out.get());
        MainFormEnvironment env = testing::FakeEnvironment({});
        std::vector<std::string> asked;
        env.checkConnection = [&](const std::string& path, LineProbes line) {
            asked.push_back(path);
            EXPECT_EQ(line, LineProbes::Run);
            return ports::Findings{{problem ? ports::Finding::Kind::Problem : ports::Finding::Kind::Ok,
                                    "The device is missing.", "plug it in", problem ? 5 : 0}};
        };
        TCodeUpdaterMainDispForm form(host, env);
        EXPECT_EQ(RunConsoleSession(form, host, options, out.get()), problem ? 1 : 0);
        EXPECT_EQ(asked, std::vector<std::string>{device});
        const std::string text = out.Text();
        EXPECT_TRUE(Contains(text, "(" + device + ")\n")) << text;
        EXPECT_TRUE(Contains(text, "The device is missing.")) << text;
        EXPECT_FALSE(Contains(text, "Status:")) << text; // nothing else ran
        EXPECT_EQ(form.m_RunRecorder.Row().resultText,
                  problem ? "Verdict: The device is missing." : "Verdict: the port looks usable.");
    }
}

TEST(ConsoleSessionTest, WrongPasswordAndAnUnofferedBootChoiceFail)
{
    {
        ConsoleOptions options;
        options.password.emplace("guess"); // not "=": GCC 12 -O2 warns of an uninitialised read
        Stream in;
        Stream out;
        ConsoleHost host(options, in.get(), out.get());
        TCodeUpdaterMainDispForm form(host, testing::FakeEnvironment({1}));
        form.AddListener(&host);
        EXPECT_EQ(RunConsoleSession(form, host, options, out.get()), 11);
        EXPECT_TRUE(Contains(out.Text(), "Status: The password was not accepted.")) << out.Text();
        form.RemoveListener(&host);
    }
    {
        ConsoleOptions options;
        options.boot = true;
        Stream in;
        Stream out;
        ConsoleHost host(options, in.get(), out.get());
        MainFormEnvironment env = testing::FakeEnvironment({1});
        env.blobs = testing::RecordBlobs(1, 1, 4, 3); // series 4 takes the boot path by itself
        TCodeUpdaterMainDispForm form(host, env);
        EXPECT_EQ(RunConsoleSession(form, host, options, out.get()), 2);
    }
    {
        // The password typed at the prompt when no option gives it.
        ConsoleOptions options;
        options.boot = true;
        Stream in("marvoski\n");
        Stream out;
        ConsoleHost host(options, in.get(), out.get());
        MainFormEnvironment env = testing::FakeEnvironment({});
        env.blobs = testing::RecordBlobs(1, 1, 5, 3);
        TCodeUpdaterMainDispForm form(host, env);
        EXPECT_NE(RunConsoleSession(form, host, options, out.get()), 0);
        EXPECT_TRUE(form.m_BootRadioButton.Checked());
        EXPECT_TRUE(form.m_PasswordAccepted);
        EXPECT_TRUE(Contains(out.Text(), "Please enter your password:")) << out.Text();
    }
}

} // namespace
} // namespace aurex
