// What the disconnect line says during a run and after it, for each outcome and state the radio
// is left in.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/disconnect_advice.h"

namespace aurex {
namespace {

TEST(DisconnectAdviceTest, AfterARunTheOutcomeAndTheRadiosStateChooseTheText)
{
    struct Case
    {
        RunResult result;
        RadioLeft left;
        std::vector<std::string> says;
    };
    const std::vector<Case> cases = {
        {RunResult::Succeeded, RadioLeft::CodeplugWritten, {"The radio may be disconnected."}},
        {RunResult::Succeeded, RadioLeft::Untouched, {"The radio may be disconnected."}},
        {RunResult::CodeDownloadFailed,
         RadioLeft::CodeWriting,
         {"no working code", "Leave it connected", "boot-load mode", "press Start again"}},
        {RunResult::Stopped, RadioLeft::CodeWriting, {"no working code", "boot-load mode"}},
        {RunResult::NotInBootMode, RadioLeft::CodeWriting, {"still has its code", "boot-load mode"}},
        {RunResult::NoAnswer, RadioLeft::CodeWriting, {"no working code"}},
        {RunResult::CodeplugDownloadFailed,
         RadioLeft::CodeplugWriting,
         {"has the new code", "may not\nbe readable", "restore the backup", "(it is kept)"}},
        {RunResult::CodeplugDownloadFailed,
         RadioLeft::RestoreWriting,
         {"may not be readable", "restore again", "the backup is kept"}},
        {RunResult::CodeplugUploadFailed, RadioLeft::NewCode, {"has the new code", "was not\nconverted"}},
        {RunResult::NoAnswer, RadioLeft::NewCode, {"has the new code", "Leave it connected"}},
        {RunResult::NoAnswer,
         RadioLeft::Untouched,
         {"did not answer", "check the cable and\nthe port", "Nothing was written"}},
        {RunResult::PortNotOpened, RadioLeft::Untouched, {"could not be opened", "Nothing was sent"}},
        {RunResult::RadioDoesNotFit,
         RadioLeft::Untouched,
         {"not for the connected radio", "Nothing was written"}},
        {RunResult::Stopped, RadioLeft::Untouched, {"Nothing was written", "may be disconnected"}},
        {RunResult::CodeplugUploadFailed, RadioLeft::Untouched, {"Nothing was written"}},
        {RunResult::VerificationDiffers,
         RadioLeft::CodeplugWritten,
         {"differs", "restore the", "(it is kept)"}},
        {RunResult::CodeplugNotConverted, RadioLeft::NewCode, {"may be disconnected", "not\nconverted"}},
        {RunResult::Failed, RadioLeft::CodeplugWritten, {"written, but not read back"}},
    };
    for (const Case& c : cases) {
        const std::string text(DisconnectAdviceAfter(c.result, c.left));
        for (const std::string& part : c.says) {
            EXPECT_NE(text.find(part), std::string::npos)
                << RunResultName(c.result) << ", left " << static_cast<int>(c.left) << ": \"" << text
                << "\" lacks \"" << part << "\"";
        }
    }
}

// Every outcome in every state has a text of its own; none says the run is still going, and the
// label's lines stay short enough for it.
TEST(DisconnectAdviceTest, EveryEndHasAnAnswerThatFitsTheLabel)
{
    for (int r = 0; r <= static_cast<int>(RunResult::CodeplugNotConverted); ++r) {
        for (int l = 0; l <= static_cast<int>(RadioLeft::CodeplugWritten); ++l) {
            const std::string_view text =
                DisconnectAdviceAfter(static_cast<RunResult>(r), static_cast<RadioLeft>(l));
            EXPECT_NE(text, kDoNotDisconnectText) << r << "/" << l;
            std::size_t lines = 0;
            for (std::size_t start = 0;;) {
                const std::size_t end = text.find('\n', start);
                const std::size_t stop = end == std::string_view::npos ? text.size() : end;
                EXPECT_LE(stop - start, 56U) << text;
                ++lines;
                if (end == std::string_view::npos) {
                    break;
                }
                start = end + 1;
            }
            EXPECT_LE(lines, 3U) << text;
        }
    }
}

} // namespace
} // namespace aurex
