// The byte meter and the progress feed on a clock the tests turn by hand: the rate over the
// recent window, the time left, and how often a reading is handed on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/byte_meter.h"
#include "app/progress_feed.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;

struct Step
{
    double at;
    std::int64_t done;
};

struct MeterCase
{
    const char* what;
    std::optional<std::int64_t> total;
    std::vector<Step> steps; // after a start at 0 s
    double readAt;
    std::optional<double> rate;
    std::optional<double> left;
};

TEST(ByteMeterTest, RateOverTheRecentWindowAndTimeLeftAtThatRate)
{
    // The window is 5 s; a rate needs 0.5 s of samples.
    for (const MeterCase& c : {
             MeterCase{"nothing yet", 1000, {}, 0.0, std::nullopt, std::nullopt},
             MeterCase{"too soon to tell", 1000, {{0.2, 100}}, 0.2, std::nullopt, std::nullopt},
             MeterCase{"steady", 1000, {{1, 100}, {2, 200}}, 2, 100.0, 8.0},
             MeterCase{"read later: the wait counts", 1000, {{1, 100}, {2, 200}}, 4, 50.0, 16.0},
             MeterCase{"a fast start drops out of the window",
                       10000,
                       {{1, 5000}, {2, 5000}, {6, 5100}, {7, 5200}, {8, 5300}},
                       8,
                       50.0,
                       94.0},
             MeterCase{
                 "unknown total: a rate, no time left", std::nullopt, {{1, 300}}, 1, 300.0, std::nullopt},
             MeterCase{"at the total: nothing left", 300, {{0.1, 300}}, 0.1, std::nullopt, 0.0},
             MeterCase{"stalled: no time left to tell", 1000, {{1, 0}}, 1, 0.0, std::nullopt},
             MeterCase{"a smaller count is no progress", 1000, {{1, 500}, {2, 400}}, 2, 250.0, 2.0},
         }) {
        SCOPED_TRACE(c.what);
        double now = 0;
        ByteMeter meter([&now] { return now; });
        meter.Start(c.total);
        for (const Step& s : c.steps) {
            now = s.at;
            meter.SetDone(s.done);
        }
        now = c.readAt;
        const ByteReading r = meter.Reading();
        EXPECT_EQ(r.total, c.total);
        EXPECT_EQ(r.rate.has_value(), c.rate.has_value());
        if (r.rate && c.rate) {
            EXPECT_NEAR(*r.rate, *c.rate, 1e-9);
        }
        EXPECT_EQ(r.secondsLeft.has_value(), c.left.has_value());
        if (r.secondsLeft && c.left) {
            EXPECT_NEAR(*r.secondsLeft, *c.left, 1e-9);
        }
    }
}

struct Heard final : RunEvents
{
    void ProgressMade(const ProgressReading& r) override
    {
        lines.push_back(r.phase + " " + std::to_string(r.bytes.done) + "/" +
                        (r.bytes.total ? std::to_string(*r.bytes.total) : "?"));
    }
    std::vector<std::string> lines;
};

TEST(ProgressFeedTest, HandsOnTheFirstReadingAFewASecondAndTheLast)
{
    double now = 0;
    Heard heard;
    ProgressFeed feed(
        heard, [&now] { return now; }, 0.25);

    feed.Begin("loader", 1024);
    for (int block = 1; block <= 8; ++block) {
        now += 0.1; // a block every tenth of a second
        feed.Done(block * 128);
    }
    feed.End();
    // Begin, then 0.3 s and 0.6 s after the last one handed on, then the one at the total.
    EXPECT_THAT(heard.lines,
                ElementsAre("loader 0/1024", "loader 384/1024", "loader 768/1024", "loader 1024/1024"));

    heard.lines.clear();
    feed.Begin("codeplug-upload", std::nullopt);
    now += 0.1;
    feed.Done(128);
    now += 0.05;
    feed.Total(256);
    feed.Done(256);
    feed.End();
    feed.Done(999); // between phases: nobody is told
    // The total learnt on the way; the last reading reaches it and goes at once.
    EXPECT_THAT(heard.lines, ElementsAre("codeplug-upload 0/?", "codeplug-upload 256/256"));

    heard.lines.clear();
    feed.Begin("application", 1000);
    now += 0.1;
    feed.Done(128);
    feed.End(); // a failed phase still tells where it stopped
    EXPECT_THAT(heard.lines, ElementsAre("application 0/1000", "application 128/1000"));
    EXPECT_TRUE(feed.Phase().empty());
}

} // namespace
} // namespace aurex
