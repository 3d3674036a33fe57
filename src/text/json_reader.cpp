#include "text/json_reader.h"

#include <charconv>
#include <set>

#include "text/hex.h"
#include "text/utf8.h"

namespace aurex {

namespace {

class Reader
{
  public:
    Reader(std::string_view text, const JsonLimits& limits) : text_(text), limits_(limits) {}

    JsonParse Run()
    {
        JsonParse result;
        JsonValue value;
        if (text_.size() > limits_.maxBytes) {
            result.error = "the text is " + std::to_string(text_.size()) + " bytes long, more than the " +
                           std::to_string(limits_.maxBytes) + " bytes allowed";
            return result;
        }
        SkipSpace();
        if (Value(value, 0)) {
            SkipSpace();
            if (at_ == text_.size()) {
                result.value = std::move(value);
                return result;
            }
            Fail(at_, "unexpected text after the value");
        }
        result.error = Where() + error_;
        return result;
    }

  private:
    std::string Where() const
    {
        std::size_t line = 1;
        std::size_t column = 1;
        for (std::size_t i = 0; i < errorAt_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
    }

    bool Fail(std::size_t at, std::string why)
    {
        errorAt_ = at;
        error_ = std::move(why);
        return false;
    }

    void SkipSpace()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool Literal(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) {
            return Fail(at_, "not a JSON value");
        }
        at_ += word.size();
        return true;
    }

    bool Value(JsonValue& value, int depth)
    {
        if (at_ == text_.size()) {
            return Fail(at_, "the text ends where a value should be");
        }
        switch (text_[at_]) {
        case '{':
            return Object(value, depth + 1);
        case '[':
            return Array(value, depth + 1);
        case '"':
            value.kind = JsonValue::Kind::String;
            return String(value.text);
        case 't':
            value.kind = JsonValue::Kind::Bool;
            value.boolean = true;
            return Literal("true");
        case 'f':
            value.kind = JsonValue::Kind::Bool;
            return Literal("false");
        case 'n':
            value.kind = JsonValue::Kind::Null;
            return Literal("null");
        default:
            value.kind = JsonValue::Kind::Number;
            return Number(value.text);
        }
    }

    bool Enter(int depth)
    {
        if (depth > limits_.maxDepth) {
            return Fail(at_, "nested more than " + std::to_string(limits_.maxDepth) + " levels deep");
        }
        ++at_;
        SkipSpace();
        return true;
    }

    // After an item: true with `more` set, or false at anything but ',' or the closing bracket.
    bool Next(char close, bool& more)
    {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == ',') {
            ++at_;
            SkipSpace();
            more = true;
            return true;
        }
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
            more = false;
            return true;
        }
        return Fail(at_, std::string("expected ',' or '") + close + "'");
    }

    bool Array(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Array;
        if (!Enter(depth)) {
            return false;
        }
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        for (bool more = true; more;) {
            JsonValue item;
            if (!Value(item, depth) || !Next(']', more)) {
                return false;
            }
            value.items.push_back(std::move(item));
        }
        return true;
    }

    bool Object(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Object;
        if (!Enter(depth)) {
            return false;
        }
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        std::set<std::string, std::less<>> keys;
        for (bool more = true; more;) {
            const std::size_t keyAt = at_;
            std::string key;
            if (at_ == text_.size() || text_[at_] != '"') {
                return Fail(at_, "expected a key in double quotes");
            }
            if (!String(key)) {
                return false;
            }
            if (!keys.insert(key).second) {
                return Fail(keyAt, "the key \"" + key + "\" appears twice");
            }
            SkipSpace();
            if (at_ == text_.size() || text_[at_] != ':') {
                return Fail(at_, "expected ':' after a key");
            }
            ++at_;
            SkipSpace();
            JsonValue member;
            if (!Value(member, depth) || !Next('}', more)) {
                return false;
            }
            value.members.push_back(JsonMember{std::move(key), std::move(member)});
        }
        return true;
    }

    bool Number(std::string& out)
    {
        const std::size_t start = at_;
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            return at_ - from;
        };
        if (at_ < text_.size() && text_[at_] == '-') {
            ++at_;
        }
        const std::size_t intStart = at_;
        const std::size_t intDigits = digits();
        if (intDigits == 0) {
            return Fail(start, "not a JSON value");
        }
        if (intDigits > 1 && text_[intStart] == '0') {
            return Fail(start, "a number with a leading zero");
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) {
                return Fail(start, "a number without digits after its point");
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            if (digits() == 0) {
                return Fail(start, "a number without digits in its exponent");
            }
        }
        if (at_ - start > limits_.maxStringBytes) {
            return Fail(start,
                        "a number longer than " + std::to_string(limits_.maxStringBytes) + " characters");
        }
        out.assign(text_.substr(start, at_ - start));
        return true;
    }

    // Four hex digits after "\u"; -1 when they are not.
    int Unit(std::size_t at) const
    {
        if (text_.size() - at < 4) {
            return -1;
        }
        int unit = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int d = HexDigitValue(text_[at + i]);
            if (d < 0) {
                return -1;
            }
            unit = unit * 16 + d;
        }
        return unit;
    }

    bool Escape(std::string& out)
    {
        const std::size_t start = at_;
        if (at_ + 1 >= text_.size()) {
            return Fail(start, "the text ends inside a string");
        }
        const char kind = text_[at_ + 1];
        at_ += 2;
        switch (kind) {
        case '"':
        case '\\':
        case '/':
            out += kind;
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            break;
        default:
            return Fail(start, "an unknown escape in a string");
        }
        const int unit = Unit(at_);
        if (unit < 0) {
            return Fail(start, "\\u without four hex digits");
        }
        at_ += 4;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return Fail(start, "a low surrogate without a high one before it");
        }
        if (unit < 0xD800 || unit > 0xDBFF) {
            AppendUtf8(out, static_cast<std::uint32_t>(unit));
            return true;
        }
        const int low = text_.substr(at_, 2) == "\\u" ? Unit(at_ + 2) : -1;
        if (low < 0xDC00 || low > 0xDFFF) {
            return Fail(start, "a high surrogate without a low one after it");
        }
        at_ += 6;
        AppendUtf8(out, 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) +
                            (static_cast<std::uint32_t>(low) - 0xDC00));
        return true;
    }

    bool String(std::string& out)
    {
        const std::size_t start = at_;
        ++at_;
        while (true) {
            if (at_ == text_.size()) {
                return Fail(start, "the text ends inside a string");
            }
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                if (!Escape(out)) {
                    return false;
                }
            } else if (c < 0x20) {
                return Fail(at_, "a control character not escaped in a string");
            } else if (c < 0x80) {
                out += static_cast<char>(c);
                ++at_;
            } else {
                const std::size_t length = Utf8SequenceLength(text_, at_);
                if (length == 0) {
                    return Fail(at_, "a string that is not valid UTF-8");
                }
                out.append(text_.substr(at_, length));
                at_ += length;
            }
            if (out.size() > limits_.maxStringBytes) {
                return Fail(start,
                            "a string longer than " + std::to_string(limits_.maxStringBytes) + " bytes");
            }
        }
    }

    std::string_view text_;
    const JsonLimits& limits_;
    std::size_t at_ = 0;
    std::size_t errorAt_ = 0;
    std::string error_;
};

} // namespace

const JsonValue* JsonValue::Find(std::string_view key) const
{
    for (const auto& [name, value] : members) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<std::int64_t> JsonValue::Integer() const
{
    if (kind != Kind::Number || text.find_first_of(".eE") != std::string::npos) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

JsonParse ParseJson(std::string_view text, const JsonLimits& limits)
{
    return Reader(text, limits).Run();
}

} // namespace aurex
