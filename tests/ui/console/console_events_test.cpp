// The --json event lines: their exact form (the names are a promise to scripts), that each one
// reads back as JSON with the strict reader, and that any text survives the trip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "text/json_reader.h"
#include "ui/console/console_events.h"

namespace aurex {
namespace {

using ::testing::ElementsAre;

struct Written
{
    double now = 100; // the events count from here
    std::vector<std::string> lines;
    ConsoleEvents events{[this](const std::string& line) { lines.push_back(line); }, [this] { return now; }};
};

TEST(ConsoleEventsTest, EachEventIsOneLineOfFixedNames)
{
    Written w;
    w.now = 101.25;
    ConsoleEvents& e = w.events;
    e.StatusShown("Downloading Loader code ...");
    e.BoxAnswered("Confirm", MessageIcon::Question, "Quit?", MessageAnswer::No);
    e.BoxAnswered("Aurex Code Updater", MessageIcon::Error, "No.", MessageAnswer::Ok);
    e.FactLearnt("Radio identity", "00001A2B3C4D5E6F", &HistoryRow::radioIdentity);
    e.FactLearnt("boot", "6.3", &HistoryRow::versionsBefore);
    e.FactLearnt("codeplug format", "5.10", &HistoryRow::versionsAfter);
    e.FactLearnt("Verification", "verified", &HistoryRow::verification); // not the radio's: no event
    e.ProgressMade({"application", {65536, 131072, 4096.04, 16.0}});
    e.ProgressMade({"codeplug-upload", {0, {}, {}, {}}});
    e.Result(0, "Done.");
    e.Result(6, "Communication error.");
    e.Result(130, "Idle");
    EXPECT_THAT(
        w.lines,
        ElementsAre(
            R"({"event":"status","text":"Downloading Loader code ...","t":1.250})"
            "\n",
            R"({"event":"box","caption":"Confirm","icon":"Question","text":"Quit?","answer":"No","t":1.250})"
            "\n",
            R"({"event":"box","caption":"Aurex Code Updater","icon":"Error","text":"No.","answer":"OK","t":1.250})"
            "\n",
            R"({"event":"radio","name":"identity","value":"00001A2B3C4D5E6F","when":"before","t":1.250})"
            "\n",
            R"({"event":"radio","name":"boot","value":"6.3","when":"before","t":1.250})"
            "\n",
            R"({"event":"radio","name":"codeplug format","value":"5.10","when":"after","t":1.250})"
            "\n",
            R"({"event":"progress","phase":"application","done":65536,"total":131072,"rate":4096.0,"left":16.0,"t":1.250})"
            "\n",
            R"({"event":"progress","phase":"codeplug-upload","done":0,"total":null,"rate":null,"left":null,"t":1.250})"
            "\n",
            R"({"event":"result","code":0,"name":"succeeded","status":"Done.","t":1.250})"
            "\n",
            R"({"event":"result","code":6,"name":"no answer","status":"Communication error.","t":1.250})"
            "\n",
            R"({"event":"result","code":130,"name":"ended by signal","status":"Idle","t":1.250})"
            "\n"));
    for (const std::string& line : w.lines) {
        const JsonParse parsed = ParseJson(line);
        EXPECT_TRUE(parsed.value) << line << parsed.error;
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
