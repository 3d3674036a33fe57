#pragma once

namespace aurex {

// What protocol code may count on of the line under the radio link. The transport fills it when
// the link opens; the protocols ask for these instead of which line it is.
struct LinkCapabilities
{
    // A refusal (02 0A "not ready", 04 20 "declined", 02 0A to a block's checksum wait) is the radio
    // asking for the same request again, and the request is repeated for as long as the link is
    // active: behind the two-wire half-duplex cable the radio refuses what it did not take cleanly
    // or is not ready for yet. Elsewhere a refusal is the answer.
    bool repeatsRefusedRequests = false;
    // A wait ends on its time-out only while the line is quiet, and such an end reads as its own
    // status (a communication problem: the radio does not hear us) rather than as an unanswered
    // request. Elsewhere the time-out ends any wait alike.
    bool quietEndIsCommProblem = false;
};

} // namespace aurex
