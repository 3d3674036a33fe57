#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "programming/programming_link.h"
#include "programming/programming_status.h"

namespace aurex {

// The radio's version data, one field per identification reply (23 bytes in all).
struct TargetVersionInfo
{
    std::array<std::uint8_t, 2> fileFormat{};        // 04 1D: major, minor
    std::array<std::uint8_t, 3> dspVersion{};        // 04 0C
    std::array<std::uint8_t, 3> controllerVersion{}; // 04 0A; the major decides the SEM query
    std::array<std::uint8_t, 3> hardwareRevision{};  // 04 08
    std::array<std::uint8_t, 8> serialNumber{};      // 04 05, raw bytes
    std::array<std::uint8_t, 2> bootLoadVersion{};   // 04 2E: series, release
    std::array<std::uint8_t, 2> semVersion{};        // 04 3F; zero when not asked or not given

    friend bool operator==(const TargetVersionInfo&, const TargetVersionInfo&) = default;
};
static_assert(sizeof(TargetVersionInfo) == 23);

// Platforms whose radio may lack boot information or shows a hardware revision.
bool ShowsHardwareRevision(std::uint8_t radioTypeCode);

// Asks the radio its seven version fields (the SEM version only when sem is set and the
// platform and controller have one). Returns Success, NoBootInfo (those bytes are 0),
// SemUnavailable or the failed wait's CommProblem or TimedOut. A declined request (04 20) counts
// as an answer and leaves its field 0.
ProgrammingStatus ReadTargetVersionInfo(ProgrammingLink& link, std::uint8_t radioTypeCode,
                                        TargetVersionInfo& info, bool sem);

// Asks the radio its boot load version (series, release). On a line that repeats refused
// requests a declined one is asked again while the link is active. Returns Success with the two
// bytes filled, NoBootInfo with them zeroed on the platforms that may lack the information, else
// the failed wait's status with the bytes untouched.
ProgrammingStatus ReadBootVersion(ProgrammingLink& link, std::uint8_t radioTypeCode,
                                  std::array<std::uint8_t, 2>& version);

// ReadTargetVersionInfo told enough to fill the version labels: Success, NoBootInfo or
// SemUnavailable.
bool VersionInfoRead(ProgrammingStatus status);

// Texts of the version group's labels.
struct VersionLabelTexts
{
    std::string fileVersion;
    std::string dspVersion;
    std::string controllerVersion;
    std::string hardwareRevision;
    std::string serialNumber;
    std::string bootLoadVersion;
    std::string semVersion;
};
inline constexpr const char* kNotApplicable = "Not Applicable";
VersionLabelTexts VersionLabelTextsFor(const TargetVersionInfo& info, std::uint8_t radioTypeCode);

// The radio's boot version against the boot images the updater carries.
enum class BootVersionOutcome : std::uint8_t {
    Upgrade,            // same major, other minor: the boot code is to be replaced
    Current,            // same major and minor
    MajorMismatch,      // neither image has the radio's major
    CommunicationError, // the boot version could not be read
};
struct BootVersionComparison
{
    BootVersionOutcome outcome;
    bool useSecondBootImage; // the radio's major is the second image's
};
struct CarriedBootVersions
{
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t secondMajor = 0; // 0: there is no second boot image
    std::uint32_t secondMinor = 0;
};
// status is what ReadBootVersion returned for radioVersion.
BootVersionComparison CompareBootVersion(ProgrammingStatus status,
                                         const std::array<std::uint8_t, 2>& radioVersion,
                                         const CarriedBootVersions& carried);

inline constexpr const char* kBootCommErrorText =
    "Communication error while trying to retrieve boot version.";
inline constexpr const char* kBootCurrentText =
    "The boot version is current and does not need to be upgraded.";
inline constexpr const char* kBootMajorMismatchText =
    "Error: the major boot versions of the radio and file are different.";
inline constexpr const char* kRetrieveCommErrorText =
    "Communication error while retrieving version information.";

} // namespace aurex
