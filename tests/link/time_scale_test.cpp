#include <gtest/gtest.h>

#include "link/time_scale.h"

namespace aurex {
namespace {

TEST(TimeScale, TakesASaneFactorAndSaysWhatItDidWithAnyOther)
{
    struct Case
    {
        const char* text;
        double factor;
        const char* warning; // empty: none
    };
    const Case cases[] = {
        {nullptr, 1.0, ""},
        {"", 1.0, ""},
        {"0.2", 0.2, ""},
        {"1", 1.0, ""},
        {"1e-4", kMinTimeScale, ""},
        {"10", kMaxTimeScale, ""},
        {"1e9", 10.0, "warning: AUREX_TIME_SCALE=\"1e9\" is above the largest factor; 10 is used."},
        {"1e-9", 1e-4, "warning: AUREX_TIME_SCALE=\"1e-9\" is below the smallest factor; 0.0001 is used."},
        {"0", 1.0,
         "warning: AUREX_TIME_SCALE=\"0\" is not a positive number; waits keep their real length (factor "
         "1)."},
        {"-2", 1.0,
         "warning: AUREX_TIME_SCALE=\"-2\" is not a positive number; waits keep their real length (factor "
         "1)."},
        {"inf", 1.0,
         "warning: AUREX_TIME_SCALE=\"inf\" is not a positive number; waits keep their real length (factor "
         "1)."},
        {"nan", 1.0,
         "warning: AUREX_TIME_SCALE=\"nan\" is not a positive number; waits keep their real length (factor "
         "1)."},
        {"0.5x", 1.0,
         "warning: AUREX_TIME_SCALE=\"0.5x\" is not a positive number; waits keep their real length (factor "
         "1)."},
        {" 0.5", 0.5, ""}, // strtod skips leading blanks, as the shell's own numbers do
        {"fast\n", 1.0,
         "warning: AUREX_TIME_SCALE=\"fast?\" is not a positive number; waits keep their real length (factor "
         "1)."},
        {"1e999", 1.0,
         "warning: AUREX_TIME_SCALE=\"1e999\" is not a positive number; waits keep their real length (factor "
         "1)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text == nullptr ? "(unset)" : c.text);
        const TimeScaleReading reading = ReadTimeScale(c.text);
        EXPECT_EQ(reading.factor, c.factor);
        EXPECT_EQ(reading.warning, c.warning);
        EXPECT_TRUE(TimeScaleInRange(reading.factor));
    }
}

TEST(TimeScale, AWarningStaysOneShortLineNamingTheSetting)
{
    const std::string longText(300, '7'); // 7.7e299: finite, far above the bound
    const TimeScaleReading reading = ReadTimeScale(longText.c_str(), "--time-scale");
    EXPECT_EQ(reading.factor, kMaxTimeScale);
    EXPECT_EQ(reading.warning.rfind("warning: --time-scale=\"" + std::string(40, '7') + "...\" is above", 0),
              0U)
        << reading.warning;
    EXPECT_LT(reading.warning.size(), 160U);
    EXPECT_FALSE(TimeScaleInRange(0.0));
    EXPECT_FALSE(TimeScaleInRange(10.5));
}

} // namespace
} // namespace aurex
