#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "text/json_reader.h"

namespace aurex {
namespace {

TEST(JsonReader, LimitsHoldExactlyAtTheirEdge)
{
    const JsonLimits limits{.maxBytes = 40, .maxDepth = 3, .maxStringBytes = 5};
    EXPECT_TRUE(ParseJson("[[[1]]]", limits).value);
    EXPECT_EQ(ParseJson("[[[[1]]]]", limits).error, "line 1, column 4: nested more than 3 levels deep");
    EXPECT_TRUE(ParseJson("[\"12345\", \"\\u00e9\\u00e9\"]", limits).value); // é is two bytes
    EXPECT_EQ(ParseJson("[\"\\u00e9\\u00e9\\u00e9\"]", limits).error,
              "line 1, column 2: a string longer than 5 bytes");
    EXPECT_EQ(ParseJson("{\"123456\": 1}", limits).error, "line 1, column 2: a string longer than 5 bytes");
    EXPECT_TRUE(ParseJson(std::string(39, ' ') + "1", limits).value);
    EXPECT_FALSE(ParseJson(std::string(40, ' ') + "1", limits).value);
}

TEST(JsonReader, WholeNumbersOnlyWhenWrittenAsSuchAndInRange)
{
    const auto integer = [](const char* text) { return ParseJson(text).value->Integer(); };
    EXPECT_EQ(integer("-0"), 0);
    EXPECT_EQ(integer("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(integer("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(integer("9223372036854775808"));
    EXPECT_FALSE(integer("1.0"));
    EXPECT_FALSE(integer("1e3"));
    EXPECT_FALSE(integer("\"1\""));
}

TEST(JsonReader, MembersKeepTheirOrderAndFindTakesTheKeyExactly)
{
    const JsonParse parse = ParseJson(" {\"b\": true, \"a\": [null, false], \"A\": {}}\r\n\t");
    ASSERT_TRUE(parse.value) << parse.error;
    ASSERT_EQ(parse.value->members.size(), 3u);
    EXPECT_EQ(parse.value->members[0].key, "b");
    EXPECT_TRUE(parse.value->members[0].value.boolean);
    EXPECT_EQ(parse.value->Find("a")->items.size(), 2u);
    EXPECT_EQ(parse.value->Find("A")->kind, JsonValue::Kind::Object);
    EXPECT_EQ(parse.value->Find("c"), nullptr);
}

} // namespace
} // namespace aurex
