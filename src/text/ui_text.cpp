#include "text/ui_text.h"

namespace aurex {

UiText::UiText(std::string source, std::vector<UiText> args)
    : source_(std::move(source)), args_(std::move(args))
{
}

UiText UiText::Verbatim(std::string data)
{
    UiText text(std::move(data));
    text.verbatim_ = true;
    return text;
}

std::string UiText::Plain() const
{
    return Render([](const std::string& source) { return source; });
}

std::string UiText::Render(const std::function<std::string(const std::string&)>& translate) const
{
    if (verbatim_) {
        return source_;
    }
    const std::string pattern = translate(source_);
    if (args_.empty()) {
        return pattern;
    }
    std::vector<std::string> filled;
    filled.reserve(args_.size());
    for (const UiText& arg : args_) {
        filled.push_back(arg.Render(translate));
    }
    return FillArgs(pattern, filled);
}

std::string FillArgs(std::string_view pattern, const std::vector<std::string>& args)
{
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (index < args.size()) {
                out += args[index];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace aurex
