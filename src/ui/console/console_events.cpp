#include "ui/console/console_events.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/run_recorder.h"
#include "text/json_writer.h"

namespace aurex {

namespace {

// The first write error on standard output: a full disk or a closed pipe must not pass for success.
int g_standardOutputError = 0;

// One event: {"event":"<name>",...} on one line.
class EventLine
{
  public:
    explicit EventLine(std::string_view event) { Text("event", event); }

    EventLine& Text(std::string_view key, std::string_view value)
    {
        Key(key);
        AppendJsonString(out_, value);
        return *this;
    }
    EventLine& Integer(std::string_view key, std::optional<std::int64_t> value)
    {
        Key(key);
        out_ += value ? std::to_string(*value) : "null";
        return *this;
    }
    // Fixed decimals in any locale: the C library's printf would follow the user's.
    EventLine& Number(std::string_view key, std::optional<double> value, int decimals)
    {
        Key(key);
        char digits[64];
        std::to_chars_result written{digits, std::errc::value_too_large};
        if (value && std::isfinite(*value)) {
            written =
                std::to_chars(digits, digits + sizeof digits, *value, std::chars_format::fixed, decimals);
        }
        out_ += written.ec == std::errc() ? std::string(digits, written.ptr) : "null";
        return *this;
    }
    std::string Line() const { return out_ + "}\n"; }

  private:
    void Key(std::string_view key)
    {
        out_ += out_.empty() ? "{" : ",";
        AppendJsonString(out_, key);
        out_ += ':';
    }

    std::string out_;
};

} // namespace

ConsoleEvents::ConsoleEvents(LineSink write, SecondsClock clock)
    : write_(std::move(write)), clock_(std::move(clock)), start_(clock_())
{
}

double ConsoleEvents::Seconds() const
{
    return clock_() - start_;
}

void ConsoleEvents::StatusShown(const std::string& text)
{
    write_(EventLine("status").Text("text", text).Number("t", Seconds(), 3).Line());
}

void ConsoleEvents::BoxAnswered(const std::string& caption, MessageIcon icon, const std::string& text,
                                MessageAnswer answer)
{
    write_(EventLine("box")
               .Text("caption", caption)
               .Text("icon", MessageIconName(icon))
               .Text("text", text)
               .Text("answer", AnswerWord(answer))
               .Number("t", Seconds(), 3)
               .Line());
}

void ConsoleEvents::FactLearnt(const std::string& label, const std::string& value,
                               std::string HistoryRow::*field)
{
    const bool identity = field == &HistoryRow::radioIdentity;
    if (!identity && field != &HistoryRow::versionsBefore && field != &HistoryRow::versionsAfter) {
        return;
    }
    write_(EventLine("radio")
               .Text("name", identity ? "identity" : label)
               .Text("value", value)
               .Text("when", field == &HistoryRow::versionsAfter ? "after" : "before")
               .Number("t", Seconds(), 3)
               .Line());
}

void ConsoleEvents::ProgressMade(const ProgressReading& reading)
{
    const ByteReading& b = reading.bytes;
    write_(EventLine("progress")
               .Text("phase", reading.phase)
               .Integer("done", b.done)
               .Integer("total", b.total)
               .Number("rate", b.rate, 1)
               .Number("left", b.secondsLeft, 1)
               .Number("t", Seconds(), 3)
               .Line());
}

void ConsoleEvents::Result(int exitCode, const std::string& status)
{
    // Past 128 the program was ended by a signal while nothing was under way.
    const std::string name =
        exitCode > 128 ? "ended by signal" : RunResultName(static_cast<RunResult>(exitCode));
    write_(EventLine("result")
               .Integer("code", exitCode)
               .Text("name", name)
               .Text("status", status)
               .Number("t", Seconds(), 3)
               .Line());
}

ConsoleEvents::LineSink StandardOutputLines()
{
    return [](const std::string& line) {
        if ((std::fputs(line.c_str(), stdout) == EOF || std::fflush(stdout) != 0) &&
            g_standardOutputError == 0) {
            g_standardOutputError = errno != 0 ? errno : EIO;
        }
    };
}

int StandardOutputError()
{
    return g_standardOutputError;
}

} // namespace aurex
