#include "app/run_events.h"

#include <algorithm>

namespace aurex {

const char* AnswerWord(MessageAnswer answer)
{
    switch (answer) {
    case MessageAnswer::Yes:
        return "Yes";
    case MessageAnswer::No:
        return "No";
    case MessageAnswer::Ok:
        break;
    }
    return "OK";
}

void RunEventList::Add(RunEvents* listener)
{
    listeners_.push_back(listener);
}

void RunEventList::Remove(RunEvents* listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void RunEventList::StatusShown(const std::string& text)
{
    for (RunEvents* l : listeners_) {
        l->StatusShown(text);
    }
}

void RunEventList::BoxAnswered(const std::string& caption, MessageIcon icon, const std::string& text,
                               MessageAnswer answer)
{
    for (RunEvents* l : listeners_) {
        l->BoxAnswered(caption, icon, text, answer);
    }
}

void RunEventList::FactLearnt(const std::string& label, const std::string& value,
                              std::string HistoryRow::*field)
{
    for (RunEvents* l : listeners_) {
        l->FactLearnt(label, value, field);
    }
}

void RunEventList::ProgressMade(const ProgressReading& reading)
{
    for (RunEvents* l : listeners_) {
        l->ProgressMade(reading);
    }
}

} // namespace aurex
