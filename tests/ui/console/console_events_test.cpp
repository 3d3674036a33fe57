// The --json event lines: their exact form (the names are a promise to scripts), that each one
// reads back as JSON with the strict reader, and that any text survives the trip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "text/json_reader.h"
#include "ui/console/console_events.h"

namespace aurex {
namespace {

struct Written
{
    double now = 100; // the events count from here
    std::vector<std::string> lines;
    ConsoleEvents events{[this](const std::string& line) { lines.push_back(line); }, [this] { return now; }};
};

struct LineCase
{
    const char* what;
    std::function<void(ConsoleEvents&)> event;
    const char* line; // empty: no line
};

TEST(ConsoleEventsTest, EachEventIsOneLineOfFixedNames)
{
    const auto identity = &HistoryRow::radioIdentity;
    for (
        const LineCase& c : {
            LineCase{"status", [](ConsoleEvents& e) { e.StatusShown("Downloading Loader code ..."); },
                     R"({"event":"status","text":"Downloading Loader code ...","t":1.250})"},
            LineCase{
                "box",
                [](ConsoleEvents& e) {
                    e.BoxAnswered("Confirm", MessageIcon::Question, "Quit?", MessageAnswer::No);
                },
                R"({"event":"box","caption":"Confirm","icon":"Question","text":"Quit?","answer":"No","t":1.250})"},
            LineCase{
                "box answered OK",
                [](ConsoleEvents& e) {
                    e.BoxAnswered("Aurex Code Updater", MessageIcon::Error, "No.", MessageAnswer::Ok);
                },
                R"({"event":"box","caption":"Aurex Code Updater","icon":"Error","text":"No.","answer":"OK","t":1.250})"},
            LineCase{
                "identity",
                [identity](ConsoleEvents& e) {
                    e.FactLearnt("Radio identity", "00001A2B3C4D5E6F", identity);
                },
                R"({"event":"radio","name":"identity","value":"00001A2B3C4D5E6F","when":"before","t":1.250})"},
            LineCase{"a version before",
                     [](ConsoleEvents& e) { e.FactLearnt("boot", "6.3", &HistoryRow::versionsBefore); },
                     R"({"event":"radio","name":"boot","value":"6.3","when":"before","t":1.250})"},
            LineCase{
                "a version after",
                [](ConsoleEvents& e) { e.FactLearnt("codeplug format", "5.10", &HistoryRow::versionsAfter); },
                R"({"event":"radio","name":"codeplug format","value":"5.10","when":"after","t":1.250})"},
            LineCase{
                "other facts are not events",
                [](ConsoleEvents& e) { e.FactLearnt("Verification", "verified", &HistoryRow::verification); },
                ""},
            LineCase{
                "progress",
                [](ConsoleEvents& e) {
                    e.ProgressMade({"application", {65536, 131072, 4096.04, 16.0}});
                },
                R"({"event":"progress","phase":"application","done":65536,"total":131072,"rate":4096.0,"left":16.0,"t":1.250})"},
            LineCase{
                "progress, nothing known yet",
                [](ConsoleEvents& e) {
                    e.ProgressMade({"codeplug-upload", {0, {}, {}, {}}});
                },
                R"({"event":"progress","phase":"codeplug-upload","done":0,"total":null,"rate":null,"left":null,"t":1.250})"},
            LineCase{"result", [](ConsoleEvents& e) { e.Result(0, "Done."); },
                     R"({"event":"result","code":0,"name":"succeeded","status":"Done.","t":1.250})"},
            LineCase{
                "a failed result", [](ConsoleEvents& e) { e.Result(6, "Communication error."); },
                R"({"event":"result","code":6,"name":"no answer","status":"Communication error.","t":1.250})"},
            LineCase{"ended by a signal", [](ConsoleEvents& e) { e.Result(130, "Idle"); },
                     R"({"event":"result","code":130,"name":"ended by signal","status":"Idle","t":1.250})"},
        }) {
        SCOPED_TRACE(c.what);
        Written w;
        w.now = 101.25;
        c.event(w.events);
        if (*c.line == 0) {
            EXPECT_THAT(w.lines, ::testing::IsEmpty());
            continue;
        }
        ASSERT_EQ(w.lines.size(), 1U);
        EXPECT_EQ(w.lines[0], std::string(c.line) + "\n");
        const JsonParse parsed = ParseJson(w.lines[0]);
        EXPECT_TRUE(parsed.value) << parsed.error;
    }
}

TEST(ConsoleEventsTest, AnyTextReadsBackAsItWasAndEveryLineIsOneLine)
{
    for (const std::string& text : {std::string("say \"yes\"\\no"), std::string("two\nlines\tand\r\x01\x7f"),
                                    std::string("Gr\xC3\xBC\xC3\x9F"
                                                "e"),
                                    std::string("bad \xFF byte")}) {
        Written w;
        w.events.StatusShown(text);
        w.events.BoxAnswered(text, MessageIcon::Information, text, MessageAnswer::Ok);
        for (const std::string& line : w.lines) {
            EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
            const JsonParse parsed = ParseJson(line);
            ASSERT_TRUE(parsed.value) << parsed.error;
            const JsonValue* read = parsed.value->Find("text");
            ASSERT_NE(read, nullptr);
            // A byte that is no UTF-8 becomes U+FFFD; everything else comes back unchanged.
            EXPECT_EQ(read->text, text.find('\xFF') == std::string::npos ? text : "bad \xEF\xBF\xBD byte");
        }
    }
}

} // namespace
} // namespace aurex
