// A strict, bounded JSON reader for the small records the program keeps beside its files. It
// reads RFC 8259 JSON within fixed limits and answers every input with a value or a sentence
// saying where and why it stopped; it never throws, and its recursion is bounded by the depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aurex {

struct JsonLimits
{
    std::size_t maxBytes = 64 * 1024;
    int maxDepth = 4;                  // arrays and objects inside each other
    std::size_t maxStringBytes = 4096; // of a string or key, once decoded
};

struct JsonMember;

struct JsonValue
{
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text; // a string's UTF-8 contents, or a number as written
    std::vector<JsonValue> items;
    std::vector<JsonMember> members; // in the order written; keys unique

    const JsonValue* Find(std::string_view key) const;
    // A number written without fraction or exponent that fits; nullopt otherwise.
    std::optional<std::int64_t> Integer() const;
};

struct JsonMember
{
    std::string key;
    JsonValue value;
};

struct JsonParse
{
    std::optional<JsonValue> value;
    std::string error; // "line L, column C: ..." when there is no value
};

// Rejects text over the limits, invalid UTF-8, lone surrogates, duplicate keys and anything but
// whitespace after the value.
JsonParse ParseJson(std::string_view text, const JsonLimits& limits = {});

} // namespace aurex
