#pragma once

// A text shown to a person, kept apart from its translation: the source as the program says it
// in English, with %1 to %9 standing for arguments (numbers, paths, or texts of their own).
// Plain() is the untranslated whole, which logs, the console, the history and the program's own
// comparisons use; a rendering that translates calls Render with its translation, which is
// applied to the source and to every argument that is itself text, never to data.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace aurex {

class UiText
{
  public:
    UiText() = default;
    // A whole text, translated as it stands. Implicit: a plain string is the common case.
    UiText(const char* source) : source_(source) {}
    UiText(std::string source) : source_(std::move(source)) {}
    UiText(std::string_view source) : source_(source) {}
    // A source with %1.. and the arguments that fill it.
    UiText(std::string source, std::vector<UiText> args);

    // Data shown as it is: a path, a number, a version, a port name.
    static UiText Verbatim(std::string data);

    const std::string& Source() const { return source_; }
    const std::vector<UiText>& Args() const { return args_; }
    bool IsVerbatim() const { return verbatim_; }
    bool Empty() const { return source_.empty(); }

    std::string Plain() const;
    std::string Render(const std::function<std::string(const std::string&)>& translate) const;

    friend bool operator==(const UiText&, const UiText&) = default;

  private:
    std::string source_;
    std::vector<UiText> args_;
    bool verbatim_ = false;
};

// Fills %1 to %9 of `pattern` with `args` in one pass, so an argument that holds "%1" stays as it
// is; a number with no argument, "%0" and a '%' not before a digit stay as they stand.
std::string FillArgs(std::string_view pattern, const std::vector<std::string>& args);

} // namespace aurex
