#include <gtest/gtest.h>

#include "text/ui_text.h"

namespace aurex {
namespace {

TEST(UiTextTest, FillArgsPutsEachArgumentInItsPlaceOnce)
{
    struct Case
    {
        const char* pattern;
        std::vector<std::string> args;
        const char* filled;
    };
    const Case cases[] = {
        {"Step %1 of %2: %3", {"3", "9", "loader"}, "Step 3 of 9: loader"},
        {"%2 before %1", {"a", "b"}, "b before a"},
        {"%1 and %1 again", {"x"}, "x and x again"},
        {"%1", {"100% - %2 is text"}, "100% - %2 is text"}, // an argument is never read again
        {"%1% - %2", {"42", "Aurex"}, "42% - Aurex"},
        {"%3 has no argument", {"a"}, "%3 has no argument"},
        {"%0 and 100% and a trailing %", {"a"}, "%0 and 100% and a trailing %"},
        {"%10", {"a"}, "a0"}, // one digit: at most nine arguments
        {"", {"a"}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FillArgs(c.pattern, c.args), c.filled) << c.pattern;
    }
}

TEST(UiTextTest, RenderTranslatesSourcesAndTextArgumentsButNeverData)
{
    const UiText text("Restore refused: the backup was made from %1, not from the radio %2.",
                      {UiText("the radio %1", {UiText::Verbatim("SN-1")}), UiText::Verbatim("SN-2")});
    EXPECT_EQ(text.Plain(),
              "Restore refused: the backup was made from the radio SN-1, not from the radio SN-2.");
    std::vector<std::string> asked;
    const std::string shown = text.Render([&asked](const std::string& source) {
        asked.push_back(source);
        return source == "the radio %1" ? "la radio %1" : "[" + source + "]";
    });
    EXPECT_EQ(shown, "[Restore refused: the backup was made from la radio SN-1, not from the radio SN-2.]");
    EXPECT_EQ(asked, (std::vector<std::string>{text.Source(), "the radio %1"}));

    // A translation that moves the arguments about keeps each with its own value.
    const UiText versions("boot code %1, newer than %2", {UiText::Verbatim("4.1"), UiText::Verbatim("4.0")});
    EXPECT_EQ(versions.Render([](const std::string&) { return std::string("%2 < %1"); }), "4.0 < 4.1");
    EXPECT_EQ(UiText::Verbatim("%1").Render([](const std::string&) { return std::string("x"); }), "%1");
}

} // namespace
} // namespace aurex
