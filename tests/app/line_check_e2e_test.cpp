// The line half of the connection check against the simulated radio, a pseudo-terminal nobody
// answers on, and a device that does not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include <QCoreApplication>

#include "app/line_check.h"
#include "link/clock.h"
#include "link/serial_system.h"
#include "support/pty_pair.h"
#include "support/radio_sim_process.h"

namespace aurex {
namespace {

using Kind = ports::Finding::Kind;
constexpr double kTimeScale = 0.05;
const char* const kMissingDevice = "/dev/aurex-test-no-such-tty";

struct Case
{
    const char* name;
    std::optional<std::vector<std::string>> sim;        // unset: a pseudo-terminal with nobody on it
    const char* device;                                 // set: this path instead of either
    std::vector<std::pair<Kind, std::string>> expected; // each finding's kind and a part of its text
};

TEST(LineCheckE2E, EachLineGivesItsFindingsAndLeavesThePortClosed)
{
    static int argc = 1;
    static char name[] = "line_check_e2e_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    Clock::SetScale(kTimeScale);
    const std::string scale = std::to_string(kTimeScale);
    const std::pair<Kind, std::string> opened{Kind::Ok, "at 19200 baud."};
    // A pseudo-terminal is no USB adapter (low latency is not asked) and has no RS-485 mode.
    const std::pair<Kind, std::string> noRs485{Kind::Note, "offers no RS-485 mode"};
    const std::pair<Kind, std::string> noBox{Kind::Note, "No interface box answered"};
    const std::pair<Kind, std::string> radio{Kind::Ok, "A radio answered at 19200 baud (boot version 4.0)."};
    const std::pair<Kind, std::string> silent{Kind::Problem, "Nothing answered on the line"};
    const std::vector<Case> cases{
        {"box",
         std::vector<std::string>{},
         nullptr,
         {opened, noRs485, {Kind::Ok, "The interface box answered its probe."}, radio}},
        {"half-duplex",
         std::vector<std::string>{"--interface", "half-duplex"},
         nullptr,
         {opened, noRs485, noBox, {Kind::Problem, "came straight back: a two-wire"}, radio}},
        {"direct",
         std::vector<std::string>{"--interface", "direct"},
         nullptr,
         {opened, noRs485, noBox, radio}},
        {"left at 115200",
         std::vector<std::string>{"--interface", "direct", "--start-baud", "115200"},
         nullptr,
         {opened,
          noRs485,
          noBox,
          {Kind::Problem, "answers only at 115200 baud (boot version 4.0): an interrupted run"}}},
        {"silent radio",
         std::vector<std::string>{"--interface", "direct", "--silent-from", "1"},
         nullptr,
         {opened, noRs485, noBox, silent}},
        {"nobody on the pty", std::nullopt, nullptr, {opened, noRs485, noBox, silent}},
        {"no such device",
         std::nullopt,
         kMissingDevice,
         {{Kind::Problem, std::string("Cannot open ") + kMissingDevice + ": No such file or directory."}}},
    };
    std::map<std::string, int> topWeight;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<test::RadioSimProcess> sim;
        std::unique_ptr<test::PtyPair> pty;
        std::string path = c.device != nullptr ? c.device : "";
        if (c.sim) {
            std::vector<std::string> args = *c.sim;
            args.insert(args.end(), {"--time-scale", scale});
            sim = std::make_unique<test::RadioSimProcess>(args);
            path = sim->DevicePath();
        } else if (path.empty()) {
            pty = std::make_unique<test::PtyPair>();
            path = pty->DevicePath();
        }
        const ports::Findings findings = CheckLine(path);
        ASSERT_EQ(findings.size(), c.expected.size()) << (sim ? sim->Log() : "");
        for (std::size_t i = 0; i < findings.size(); ++i) {
            const ports::Finding& f = findings[i];
            EXPECT_EQ(f.kind, c.expected[i].first) << f.text;
            EXPECT_NE(f.text.find(c.expected[i].second), std::string::npos) << f.text;
            EXPECT_EQ(f.text.find('\n'), std::string::npos) << f.text;
            // Problems say how to mend them and rank; nothing else ranks.
            EXPECT_EQ(!f.fix.empty(), f.kind == Kind::Problem) << f.text;
            EXPECT_EQ(f.weight > 0, f.kind == Kind::Problem) << f.text;
            topWeight[c.name] = std::max(topWeight[c.name], f.weight);
        }
        if (c.device == nullptr) {
            EXPECT_EQ(PlatformSerialSystem().Probe(path), PortOpenResult::Opened) << "the port was left open";
        }
    }
    Clock::SetScale(1.0);
    // A silent line and a radio left at 115200 outrank a two-wire cable in a failure message.
    EXPECT_GT(topWeight["silent radio"], topWeight["half-duplex"]);
    EXPECT_GT(topWeight["left at 115200"], topWeight["half-duplex"]);
}

TEST(LineCheck, WhatTheOpenDidWithLowLatencyIsTold)
{
    EXPECT_FALSE(LowLatencyFinding({}).has_value());
    struct Case
    {
        LowLatencyResult result;
        Kind kind;
        const char* part;
    };
    for (const Case& c : {Case{LowLatencyResult::Set(), Kind::Ok, "took low-latency mode"},
                          Case{LowLatencyResult::AlreadyOn(), Kind::Ok, "low-latency mode already"},
                          Case{LowLatencyResult::Refused("Invalid argument"), Kind::Note,
                               "refused low-latency mode (Invalid argument)"}}) {
        const std::optional<ports::Finding> f = LowLatencyFinding(c.result);
        ASSERT_TRUE(f.has_value()) << c.part;
        EXPECT_EQ(f->kind, c.kind);
        EXPECT_NE(f->text.find(c.part), std::string::npos) << f->text;
    }
}

} // namespace
} // namespace aurex
