// The identity and codeplug format queries that the codeplug step asks of a restarted radio: the
// restart notice that may come first, and what a missing or wrong answer leaves.
#include "programming/radio_identity.h"

#include <gtest/gtest.h>

#include "scripted_link.h"

namespace aurex {
namespace {

using test::Bytes;
using test::ScriptedLink;

const Bytes kSerial{0x00, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xEF};

Bytes WithCode(std::uint8_t cls, std::uint8_t cmd, const Bytes& data = {})
{
    Bytes message{cls, cmd};
    for (const std::uint8_t b : data) {
        message.push_back(b);
    }
    return message;
}

struct Case
{
    const char* what;
    std::vector<Bytes> replies; // what the radio sends after the query
    bool answered;
};

TEST(QueryRadioIdentityTest, SkipsOneRestartNoticeAndGivesNothingWithoutAnAnswer)
{
    const Case cases[] = {
        {"at once", {WithCode(0x04, 0x05, kSerial)}, true},
        {"after a notice", {{0x07, 0x25}, WithCode(0x04, 0x05, kSerial)}, true},
        {"after two notices", {{0x07, 0x25}, {0x07, 0x25}, WithCode(0x04, 0x05, kSerial)}, false},
        {"short reply", {WithCode(0x04, 0x05, Bytes(kSerial.begin(), kSerial.begin() + 6))}, false},
        {"other reply", {WithCode(0x04, 0x20)}, false},
        {"silence", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedLink link;
        for (const Bytes& reply : c.replies) {
            link.Reply(reply);
        }
        const std::optional<RadioIdentity> identity = QueryRadioIdentity(link);
        ASSERT_EQ(identity.has_value(), c.answered);
        if (identity) {
            EXPECT_EQ(Bytes(identity->begin(), identity->end()), kSerial);
        }
        EXPECT_EQ(link.sent, std::vector<Bytes>{Bytes({0x04, 0x04})});
    }
}

TEST(QueryCodeplugFormatTest, TakesMajorAndMinorOnlyFromAWholeFormatReply)
{
    const struct
    {
        const char* what;
        std::vector<Bytes> replies;
        std::optional<std::pair<int, int>> format;
    } cases[] = {
        {"5.10", {WithCode(0x04, 0x1D, {5, 10})}, std::pair{5, 10}},
        {"short reply", {WithCode(0x04, 0x1D, {5})}, std::nullopt},
        {"restart notice", {{0x07, 0x25}, WithCode(0x04, 0x1D, {5, 10})}, std::nullopt},
        {"silence", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedLink link;
        for (const Bytes& reply : c.replies) {
            link.Reply(reply);
        }
        const std::optional<CodeplugFormat> format = QueryCodeplugFormat(link);
        ASSERT_EQ(format.has_value(), c.format.has_value());
        if (format) {
            EXPECT_EQ(format->major, c.format->first);
            EXPECT_EQ(format->minor, c.format->second);
        }
        EXPECT_EQ(link.sent, std::vector<Bytes>{Bytes({0x04, 0x1C})});
    }
}

} // namespace
} // namespace aurex
