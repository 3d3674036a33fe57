#pragma once

// The steps a run takes, as the main window counts them for "Step k of n", and what the radio is
// left with when a run ends at one of them. Plain C++: the window feeds it status texts and byte
// progress phases.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ui_text.h"

#include "app/run_recorder.h"

namespace aurex {

enum class RunStep {
    Prepare,            // the images extracted from the program
    RadioCheck,         // the radio asked who it is
    Loader,             // the loader sent into the radio
    Erase,              // the radio erasing its flash
    BootCode,           // the boot code sent
    Code,               // the application (or DSP) code sent
    Restart,            // the radio restarting into its new code
    CodeplugUpload,     // the codeplug read out
    CodeplugConversion, // its backup saved, the radio restarting, the codeplug converted
    CodeplugWrite,      // the codeplug written into the radio
    CodeplugCheck,      // the written codeplug read back
};

// "code download", "codeplug upload", ...: the step's name after "Step k of n: ".
std::string_view StepName(RunStep step);

// What decides the steps of a run.
struct RunPlan
{
    RunKind kind = RunKind::Update;
    bool bootFirst = false;    // updates: the radio's boot code is loaded before the application
    bool bootOnly = false;     // updates: the boot code alone
    bool dsp = false;          // updates: a DSP image, sent in pages without an erase
    bool codeplugStep = false; // updates: the codeplug is kept through the update
    bool verify = true;        // a written codeplug is read back
};

// The steps in the order the run takes them; empty for runs that are one step (Retrieve, the
// connection check).
std::vector<RunStep> PlannedSteps(const RunPlan& plan);

// The step that a status text or a byte progress phase begins, if any.
std::optional<RunStep> StepOfStatus(std::string_view status);
std::optional<RunStep> StepOfPhase(std::string_view phase);

// What a run has done to the radio so far, the most it has reached.
enum class RadioLeft {
    Untouched,       // nothing written
    CodeWriting,     // code is being (or was partly) written
    NewCode,         // the new code is in, the old codeplug not yet rewritten
    CodeplugWriting, // an update's codeplug is being written back
    RestoreWriting,  // a restore's backup is being written
    CodeplugWritten, // the codeplug was written; it is being read back
};
RadioLeft LeftAt(RunKind kind, RunStep step);

// "m:ss" of whole seconds (minutes unbounded).
std::string ClockText(double seconds);

// "Step 3 of 9: loader", empty for no steps or no step reached.
UiText StepText(const std::vector<RunStep>& steps, std::optional<std::size_t> at);

// "1:23 elapsed", with ", about 1:10 left" when a time left is known and at least a second.
UiText RunTimeText(double elapsed, std::optional<double> secondsLeft);

} // namespace aurex
