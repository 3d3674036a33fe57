// The wait for a radio: how many looks end it, and how, with the looks played from a list.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <vector>

#include "app/radio_wait.h"
#include "link/clock.h"

namespace aurex {
namespace {

using P = RadioPresence;

TEST(RadioWaitTest, EndsWhenTheRadioIsAsWantedTheLimitPassesOrStopIsAsked)
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "radio_wait_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    Clock::SetScale(0.01); // 10 ms between looks
    struct Case
    {
        const char* what;
        RadioWanted wanted;
        std::vector<P> looks; // the last one repeats
        std::optional<std::chrono::milliseconds> limit;
        int stopAfterLooks; // 0: never
        WaitEnd end;
        std::size_t looksTaken;
    };
    using std::chrono::milliseconds;
    for (const Case& c : {
             Case{"answers at the third look",
                  RadioWanted::Present,
                  {P::NoPort, P::Silent, P::Answered},
                  {},
                  0,
                  WaitEnd::Found,
                  3},
             Case{"gone only after two looks in a row",
                  RadioWanted::Gone,
                  {P::Answered, P::Silent, P::Answered, P::Silent, P::NoPort},
                  {},
                  0,
                  WaitEnd::Found,
                  5},
             Case{"a limit of nothing looks once",
                  RadioWanted::Present,
                  {P::Silent},
                  milliseconds(0),
                  0,
                  WaitEnd::TimedOut,
                  1},
             Case{"a limit ends a silence",
                  RadioWanted::Present,
                  {P::Silent},
                  milliseconds(100),
                  0,
                  WaitEnd::TimedOut,
                  0},
             Case{"stop ends the wait", RadioWanted::Present, {P::Silent}, {}, 2, WaitEnd::Stopped, 2},
         }) {
        SCOPED_TRACE(c.what);
        std::size_t taken = 0;
        RadioWait wait;
        wait.look = [&] {
            RadioLook look;
            look.presence = c.looks[std::min(taken, c.looks.size() - 1)];
            ++taken;
            return look;
        };
        wait.wanted = c.wanted;
        wait.limit = c.limit;
        wait.stopped = [&] {
            return c.stopAfterLooks > 0 && taken >= static_cast<std::size_t>(c.stopAfterLooks);
        };
        RadioLook last;
        EXPECT_EQ(WaitForRadio(wait, last), c.end);
        if (c.looksTaken > 0) {
            EXPECT_EQ(taken, c.looksTaken);
        } else {
            // 100 ms at 10 ms a pause: a handful of looks, not one and not a spin.
            EXPECT_GE(taken, 3U);
            EXPECT_LE(taken, 12U);
        }
    }
    Clock::SetScale(1.0);
}

} // namespace
} // namespace aurex
