// Identification: the seven queries and their rules per platform, the boot version query, the
// label texts and the boot version comparison.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "programming/programming_status.h"
#include "programming/version_info.h"
#include "scripted_link.h"

namespace aurex {
namespace {

using test::Bytes;
using test::ScriptedLink;
using ::testing::ElementsAre;

// A radio that answers identification requests from a table; a request missing there is not
// answered, 04 20 declines it.
struct IdentifiedRadio
{
    explicit IdentifiedRadio(ScriptedLink& link) : link(link)
    {
        link.respond = [this](const Bytes& sent) {
            requests.push_back(sent);
            const auto it = answers.find(sent[1]);
            if (it != answers.end()) {
                this->link.Reply(it->second);
            }
        };
    }
    ScriptedLink& link;
    std::map<std::uint8_t, Bytes> answers{
        {0x1C, {0x04, 0x1D, 5, 10}},
        {0x0B, {0x04, 0x0C, 3, 1, 4}},
        {0x09, {0x04, 0x0A, 4, 2, 0}},
        {0x07, {0x04, 0x08, 1, 0, 2}},
        {0x04, {0x04, 0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0xFF}},
        {0x2D, {0x04, 0x2E, 4, 1}},
        {0x3E, {0x04, 0x3F, 1, 3}},
    };
    std::vector<Bytes> requests;
};

std::vector<int> Commands(const std::vector<Bytes>& requests)
{
    std::vector<int> commands;
    for (const Bytes& r : requests) {
        commands.push_back(r[1]);
    }
    return commands;
}

TEST(VersionInfoTest, SevenQueriesFillTheRecord)
{
    ScriptedLink link;
    IdentifiedRadio radio(link);
    TargetVersionInfo info;
    EXPECT_EQ(ReadTargetVersionInfo(link, 6, info, true), ProgrammingStatus::Success);
    EXPECT_THAT(Commands(radio.requests), ElementsAre(0x1C, 0x0B, 0x09, 0x07, 0x04, 0x2D, 0x3E));
    EXPECT_THAT(info.fileFormat, ElementsAre(5, 10));
    EXPECT_THAT(info.dspVersion, ElementsAre(3, 1, 4));
    EXPECT_THAT(info.controllerVersion, ElementsAre(4, 2, 0));
    EXPECT_THAT(info.hardwareRevision, ElementsAre(1, 0, 2));
    EXPECT_THAT(info.serialNumber, ElementsAre(0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0xFF));
    EXPECT_THAT(info.bootLoadVersion, ElementsAre(4, 1));
    EXPECT_THAT(info.semVersion, ElementsAre(1, 3));
    EXPECT_THAT(link.timeouts, ElementsAre(4000));
    EXPECT_EQ(link.releases, 1);

    const VersionLabelTexts texts = VersionLabelTextsFor(info, 6);
    EXPECT_EQ(texts.fileVersion, "5.10");
    EXPECT_EQ(texts.dspVersion, "3.1.4");
    EXPECT_EQ(texts.controllerVersion, "4.2.0");
    EXPECT_EQ(texts.hardwareRevision, "Not Applicable");
    EXPECT_EQ(texts.serialNumber, "0A-0B-0C-0D-0E-0F-10-FF");
    EXPECT_EQ(texts.bootLoadVersion, "4.1");
    EXPECT_EQ(texts.semVersion, "1.3");
    EXPECT_EQ(VersionLabelTextsFor(info, 5).hardwareRevision, "1.0.2");
}

TEST(VersionInfoTest, PlatformRulesForBootAndSemVersions)
{
    {
        // 1, 5 and 7 may lack boot information: the sequence goes on with status 5. The wait
        // that timed out leaves the link stopped, so a SEM query after it fails too (8).
        for (const auto& [major, status] :
             {std::pair{3, ProgrammingStatus::NoBootInfo}, std::pair{4, ProgrammingStatus::SemUnavailable}}) {
            ScriptedLink link;
            IdentifiedRadio radio(link);
            radio.answers.erase(0x2D);
            radio.answers[0x09] = {0x04, 0x0A, static_cast<std::uint8_t>(major), 0, 0};
            TargetVersionInfo info;
            info.bootLoadVersion = {9, 9};
            EXPECT_EQ(ReadTargetVersionInfo(link, 7, info, true), status);
            EXPECT_THAT(info.bootLoadVersion, ElementsAre(0, 0));
            EXPECT_EQ(VersionLabelTextsFor(info, 7).bootLoadVersion, "Not Applicable");
            EXPECT_EQ(VersionLabelTextsFor(info, 7).semVersion, "Not Applicable");
        }
    }
    {
        // Elsewhere the failed wait ends the sequence with its status.
        ScriptedLink link;
        IdentifiedRadio radio(link);
        radio.answers.erase(0x2D);
        TargetVersionInfo info;
        EXPECT_EQ(ReadTargetVersionInfo(link, 8, info, true), ProgrammingStatus::TimedOut);
        EXPECT_THAT(Commands(radio.requests), ElementsAre(0x1C, 0x0B, 0x09, 0x07, 0x04, 0x2D));
        EXPECT_EQ(link.releases, 1);
    }
    {
        // Controller major 3, platforms 2 and 3, or no SEM flag: no SEM query, SEM reads Not Applicable.
        for (const auto& [code, major, sem] :
             {std::tuple{6, 3, true}, std::tuple{2, 4, true}, std::tuple{3, 2, true}, std::tuple{9, 2, true},
              std::tuple{6, 4, false}}) {
            ScriptedLink link;
            IdentifiedRadio radio(link);
            radio.answers[0x09] = {0x04, 0x0A, static_cast<std::uint8_t>(major), 0, 0};
            TargetVersionInfo info;
            info.semVersion = {7, 7};
            EXPECT_EQ(ReadTargetVersionInfo(link, static_cast<std::uint8_t>(code), info, sem),
                      ProgrammingStatus::Success);
            EXPECT_EQ(radio.requests.back()[1], 0x2D) << code << " " << major;
            EXPECT_EQ(VersionLabelTextsFor(info, static_cast<std::uint8_t>(code)).semVersion,
                      "Not Applicable");
        }
    }
    {
        // A SEM query without an answer: 8, the other fields kept.
        ScriptedLink link;
        IdentifiedRadio radio(link);
        radio.answers.erase(0x3E);
        TargetVersionInfo info;
        EXPECT_EQ(ReadTargetVersionInfo(link, 0, info, true), ProgrammingStatus::SemUnavailable);
        EXPECT_THAT(info.semVersion, ElementsAre(0, 0));
        EXPECT_THAT(info.bootLoadVersion, ElementsAre(4, 1));
    }
    {
        // Any frame answers the SEM query; only the payload it has is taken.
        ScriptedLink link;
        IdentifiedRadio radio(link);
        radio.answers[0x3E] = {0x04, 0x20};
        TargetVersionInfo info;
        EXPECT_EQ(ReadTargetVersionInfo(link, 0, info, true), ProgrammingStatus::Success);
        EXPECT_THAT(info.semVersion, ElementsAre(0, 0));
    }
}

TEST(VersionInfoTest, FailuresAndDeclinedRequests)
{
    {
        // A query without an answer stops the sequence; what was read stays, nothing else is asked.
        ScriptedLink link;
        IdentifiedRadio radio(link);
        radio.answers.erase(0x09);
        link.endedStatus = LinkStatus::IdleEnded;
        TargetVersionInfo info;
        EXPECT_EQ(ReadTargetVersionInfo(link, 0, info, true), ProgrammingStatus::CommProblem);
        EXPECT_THAT(Commands(radio.requests), ElementsAre(0x1C, 0x0B, 0x09));
    }
    {
        // No time-out: 2 and nothing sent.
        ScriptedLink link;
        link.timeoutAvailable = false;
        TargetVersionInfo info;
        EXPECT_EQ(ReadTargetVersionInfo(link, 0, info, true), ProgrammingStatus::CommProblem);
        std::array<std::uint8_t, 2> boot{};
        EXPECT_EQ(ReadBootVersion(link, 7, boot), ProgrammingStatus::CommProblem);
        EXPECT_TRUE(link.sent.empty());
    }
    {
        // A declined request counts as answered; its field stays 0.
        ScriptedLink link;
        IdentifiedRadio radio(link);
        radio.answers[0x0B] = {0x04, 0x20};
        TargetVersionInfo info;
        info.dspVersion = {9, 9, 9};
        EXPECT_EQ(ReadTargetVersionInfo(link, 0, info, true), ProgrammingStatus::Success);
        EXPECT_THAT(info.dspVersion, ElementsAre(0, 0, 0));
        EXPECT_EQ(radio.requests.size(), 7U);
    }
}

TEST(VersionInfoTest, BootVersionQuery)
{
    {
        // On the half-duplex line a declined request is asked again.
        ScriptedLink link;
        link.capabilities.repeatsRefusedRequests = true;
        int declines = 2;
        link.respond = [&](const Bytes&) {
            link.Reply(declines-- > 0 ? Bytes{0x04, 0x20} : Bytes{0x04, 0x2E, 6, 2});
        };
        std::array<std::uint8_t, 2> boot{};
        EXPECT_EQ(ReadBootVersion(link, 0, boot), ProgrammingStatus::Success);
        EXPECT_THAT(boot, ElementsAre(6, 2));
        EXPECT_EQ(link.sent.size(), 3U);
        EXPECT_THAT(link.timeouts, ElementsAre(4000));
        EXPECT_EQ(link.releases, 1);
    }
    {
        // On the direct line it is an answer without bytes.
        ScriptedLink link;
        link.respond = [&](const Bytes&) { link.Reply({0x04, 0x20}); };
        std::array<std::uint8_t, 2> boot{5, 5};
        EXPECT_EQ(ReadBootVersion(link, 0, boot), ProgrammingStatus::Success);
        EXPECT_EQ(link.sent.size(), 1U);
        EXPECT_THAT(boot, ElementsAre(0, 0));
    }
    for (const std::uint8_t code : {1, 5, 7, 8}) {
        ScriptedLink link;
        std::array<std::uint8_t, 2> boot{5, 5};
        EXPECT_EQ(ReadBootVersion(link, code, boot), ProgrammingStatus::NoBootInfo);
        EXPECT_THAT(boot, ElementsAre(0, 0));
    }
    {
        ScriptedLink link;
        std::array<std::uint8_t, 2> boot{5, 5};
        EXPECT_EQ(ReadBootVersion(link, 6, boot), ProgrammingStatus::TimedOut);
        EXPECT_THAT(boot, ElementsAre(5, 5));
    }
}

TEST(VersionInfoTest, BootVersionComparison)
{
    const CarriedBootVersions carried{4, 2, 6, 1};
    using O = BootVersionOutcome;
    using S = ProgrammingStatus;
    const auto outcome = [&](S status, std::uint8_t major, std::uint8_t minor, const CarriedBootVersions& c) {
        const BootVersionComparison r = CompareBootVersion(status, {major, minor}, c);
        return std::pair{r.outcome, r.useSecondBootImage};
    };
    EXPECT_EQ(outcome(S::Success, 4, 2, carried), std::pair(O::Current, false));
    EXPECT_EQ(outcome(S::Success, 4, 1, carried), std::pair(O::Upgrade, false));
    EXPECT_EQ(outcome(S::Success, 6, 1, carried), std::pair(O::Current, true));
    EXPECT_EQ(outcome(S::Success, 6, 0, carried), std::pair(O::Upgrade, true));
    EXPECT_EQ(outcome(S::Success, 5, 2, carried), std::pair(O::MajorMismatch, false));
    EXPECT_EQ(outcome(S::NoBootInfo, 4, 2, carried), std::pair(O::CommunicationError, false));
    EXPECT_EQ(outcome(S::TimedOut, 4, 2, carried), std::pair(O::CommunicationError, false));
    // Without a second image, a radio major of 0 is no match for it.
    EXPECT_EQ(outcome(S::Success, 0, 0, {4, 2, 0, 0}), std::pair(O::MajorMismatch, false));
}

} // namespace
} // namespace aurex
