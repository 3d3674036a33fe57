#include "programming/version_info.h"

#include <algorithm>
#include <cstddef>

#include "link/message_table.h"
#include "programming/programming_status.h"
#include "programming/programming_timeouts.h"
#include "text/hex.h"

namespace aurex {

namespace {

bool MayLackBootInfoInVersionQuery(std::uint8_t code)
{
    return code == 1 || code == 5 || code == 7;
}

bool MayLackBootInfo(std::uint8_t code)
{
    return code == 1 || code == 5 || code == 7 || code == 8;
}

bool HasSemVersion(std::uint8_t code, std::uint8_t controllerMajor)
{
    const bool platform = code <= 8 && code != 2 && code != 3;
    return platform && (controllerMajor == 2 || controllerMajor == 4 || controllerMajor == 6);
}

// Sends the request and waits for its reply or 04 20. On an answer the reply's payload fills
// the field (a declined request leaves it 0). Returns the wait's status.
template <std::size_t N>
ProgrammingStatus Ask(ProgrammingLink& link, int requestId, std::array<std::uint8_t, N>& field,
                      bool& declined)
{
    const int replyId = requestId + 1;
    link.Send(MessagePacket(requestId));
    const LinkReply reply = link.ReceiveReply(MessagePacket(replyId), MessageLength(replyId),
                                              MessagePacket(msg::kDeclined), MessageLength(msg::kDeclined));
    declined = reply.alternate;
    const ProgrammingStatus status = ProgrammingStatusOf(reply.status);
    if (status == ProgrammingStatus::Success) {
        field.fill(0);
        if (!declined) {
            std::copy_n(reply.packet.data.begin() + 2, N, field.begin());
        }
    }
    return status;
}

template <std::size_t N>
ProgrammingStatus Ask(ProgrammingLink& link, int requestId, std::array<std::uint8_t, N>& field)
{
    bool declined = false;
    return Ask(link, requestId, field, declined);
}

std::string Dotted(const std::uint8_t* bytes, std::size_t n)
{
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(bytes[i]);
    }
    return text;
}

template <std::size_t N> std::string Dotted(const std::array<std::uint8_t, N>& bytes)
{
    return Dotted(bytes.data(), N);
}

std::string DottedOrNotApplicable(const std::array<std::uint8_t, 2>& bytes)
{
    return bytes[0] == 0 && bytes[1] == 0 ? kNotApplicable : Dotted(bytes);
}

} // namespace

bool ShowsHardwareRevision(std::uint8_t radioTypeCode)
{
    return radioTypeCode == 1 || radioTypeCode == 5 || radioTypeCode == 7;
}

ProgrammingStatus ReadTargetVersionInfo(ProgrammingLink& link, std::uint8_t radioTypeCode,
                                        TargetVersionInfo& info, bool sem)
{
    if (!link.CreateTimeout(programming_timeouts::kIdentificationReplyMs)) {
        return ProgrammingStatus::CommProblem;
    }
    ProgrammingStatus status = Ask(link, msg::kFileFormat, info.fileFormat);
    if (status == ProgrammingStatus::Success) {
        status = Ask(link, msg::kDspVersion, info.dspVersion);
    }
    if (status == ProgrammingStatus::Success) {
        status = Ask(link, msg::kControllerVersion, info.controllerVersion);
    }
    if (status == ProgrammingStatus::Success) {
        status = Ask(link, msg::kHardwareVersion, info.hardwareRevision);
    }
    if (status == ProgrammingStatus::Success) {
        status = Ask(link, msg::kIdentity, info.serialNumber);
    }
    if (status == ProgrammingStatus::Success) {
        status = Ask(link, msg::kBootVersion, info.bootLoadVersion);
        if (status != ProgrammingStatus::Success && MayLackBootInfoInVersionQuery(radioTypeCode)) {
            info.bootLoadVersion.fill(0);
            status = ProgrammingStatus::NoBootInfo;
        }
    }
    if (status == ProgrammingStatus::Success || status == ProgrammingStatus::NoBootInfo) {
        info.semVersion.fill(0);
        if (sem && HasSemVersion(radioTypeCode, info.controllerVersion[0])) {
            link.Send(MessagePacket(msg::kSemVersion));
            const LinkReply reply = link.ReceiveAnyPacket();
            if (ProgrammingStatusOf(reply.status) == ProgrammingStatus::Success) {
                // Whatever the reply, only the payload it carries is taken.
                const LinkPacket& answer = reply.packet;
                const auto payload =
                    static_cast<std::size_t>(std::clamp<std::int32_t>(answer.length - 2, 0, 2));
                std::copy_n(answer.data.begin() + 2, payload, info.semVersion.begin());
            } else {
                status = ProgrammingStatus::SemUnavailable;
            }
        }
    }
    link.ReleaseTimeout();
    return status;
}

ProgrammingStatus ReadBootVersion(ProgrammingLink& link, std::uint8_t radioTypeCode,
                                  std::array<std::uint8_t, 2>& version)
{
    if (!link.CreateTimeout(programming_timeouts::kIdentificationReplyMs)) {
        return ProgrammingStatus::CommProblem;
    }
    std::array<std::uint8_t, 2> answer{};
    bool declined = false;
    ProgrammingStatus status = Ask(link, msg::kBootVersion, answer, declined);
    if (link.Capabilities().repeatsRefusedRequests) {
        while (declined && link.IsActive()) {
            status = Ask(link, msg::kBootVersion, answer, declined);
        }
    }
    if (status == ProgrammingStatus::Success) {
        version = answer;
    } else if (MayLackBootInfo(radioTypeCode)) {
        version.fill(0);
        status = ProgrammingStatus::NoBootInfo;
    }
    link.ReleaseTimeout();
    return status;
}

bool VersionInfoRead(ProgrammingStatus status)
{
    return status == ProgrammingStatus::Success || status == ProgrammingStatus::NoBootInfo ||
           status == ProgrammingStatus::SemUnavailable;
}

VersionLabelTexts VersionLabelTextsFor(const TargetVersionInfo& info, std::uint8_t radioTypeCode)
{
    VersionLabelTexts texts;
    texts.fileVersion = Dotted(info.fileFormat);
    texts.dspVersion = Dotted(info.dspVersion);
    texts.controllerVersion = Dotted(info.controllerVersion);
    texts.hardwareRevision =
        ShowsHardwareRevision(radioTypeCode) ? Dotted(info.hardwareRevision) : kNotApplicable;
    texts.serialNumber = EncodeHex(info.serialNumber, '-');
    texts.bootLoadVersion = DottedOrNotApplicable(info.bootLoadVersion);
    texts.semVersion = DottedOrNotApplicable(info.semVersion);
    return texts;
}

BootVersionComparison CompareBootVersion(ProgrammingStatus status,
                                         const std::array<std::uint8_t, 2>& radioVersion,
                                         const CarriedBootVersions& carried)
{
    if (status != ProgrammingStatus::Success) {
        return {BootVersionOutcome::CommunicationError, false};
    }
    const std::uint32_t major = radioVersion[0];
    const std::uint32_t minor = radioVersion[1];
    if (major == carried.major) {
        return {minor == carried.minor ? BootVersionOutcome::Current : BootVersionOutcome::Upgrade, false};
    }
    if (carried.secondMajor != 0 && major == carried.secondMajor) {
        return {minor == carried.secondMinor ? BootVersionOutcome::Current : BootVersionOutcome::Upgrade,
                true};
    }
    return {BootVersionOutcome::MajorMismatch, false};
}

} // namespace aurex
