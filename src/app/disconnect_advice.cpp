#include "app/disconnect_advice.h"

#include <array>
#include <optional>

namespace aurex {

namespace {

struct Advice
{
    std::optional<RunResult> result; // none: any
    std::optional<RadioLeft> left;   // none: any
    std::string_view text;
};

// The first row that fits counts. Lines are broken by hand: the label does not wrap.
constexpr std::array<Advice, 13> kAdvice{{
    {RunResult::Succeeded, std::nullopt, kMayDisconnectText},
    {RunResult::CodeplugNotConverted, std::nullopt,
     "The radio may be disconnected. Its codeplug was not\nconverted: re-program it as the message "
     "said."},
    {RunResult::VerificationDiffers, std::nullopt,
     "The codeplug read back differs from the one written.\nLeave the radio connected and restore the "
     "backup\n(it is kept): File > Restore codeplug..."},
    {RunResult::PortNotOpened, std::nullopt,
     "The port could not be opened: choose another port\nor free this one. Nothing was sent to the "
     "radio."},
    {RunResult::NoAnswer, RadioLeft::Untouched,
     "The radio did not answer: check the cable and\nthe port. Nothing was written to the radio."},
    {RunResult::RadioDoesNotFit, RadioLeft::Untouched,
     "This updater is not for the connected radio.\nNothing was written; the radio may be "
     "disconnected."},
    // The loader's start went unanswered: the radio kept the code it runs.
    {RunResult::NotInBootMode, std::nullopt,
     "The radio still has its code: it did not start the\ncode download. Restart it in boot-load mode "
     "and\npress Start again."},
    {std::nullopt, RadioLeft::Untouched, "Nothing was written to the radio.\nThe radio may be disconnected."},
    {std::nullopt, RadioLeft::CodeWriting,
     "The radio has no working code. Leave it connected,\nrestart it in boot-load mode and press Start "
     "again."},
    {std::nullopt, RadioLeft::NewCode,
     "The radio has the new code, but its codeplug was not\nconverted. Leave it connected, restart it "
     "in boot-load\nmode and press Start again."},
    {std::nullopt, RadioLeft::CodeplugWriting,
     "The radio has the new code, but its codeplug may not\nbe readable. Leave it connected and restore "
     "the backup\n(it is kept): File > Restore codeplug..."},
    {std::nullopt, RadioLeft::RestoreWriting,
     "The radio's codeplug may not be readable. Leave it\nconnected and restore again: the backup is "
     "kept, and\nso is the radio's earlier codeplug."},
    {std::nullopt, RadioLeft::CodeplugWritten,
     "The codeplug was written, but not read back.\nThe radio may be disconnected."},
}};

} // namespace

std::string_view DisconnectAdviceAfter(RunResult result, RadioLeft left)
{
    for (const Advice& a : kAdvice) {
        if ((!a.result || *a.result == result) && (!a.left || *a.left == left)) {
            return a.text;
        }
    }
    return kDoNotDisconnectText; // not reached: every RadioLeft has a row of its own
}

} // namespace aurex
