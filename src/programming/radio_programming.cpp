#include "programming/radio_programming.h"

namespace aurex {

ProgrammingStatus ReadTargetVersionInfo(RadioLink& link, std::uint8_t radioTypeCode, TargetVersionInfo& info,
                                        bool sem)
{
    RadioLinkChannel channel(link);
    return ReadTargetVersionInfo(channel, radioTypeCode, info, sem);
}

ProgrammingStatus ReadBootVersion(RadioLink& link, std::uint8_t radioTypeCode,
                                  std::array<std::uint8_t, 2>& version)
{
    RadioLinkChannel channel(link);
    return ReadBootVersion(channel, radioTypeCode, version);
}

ProgrammingStatus DownloadCode(RadioLink& link, std::istream& loader, std::istream& code,
                               const StatusCallback& showStatus, std::uint8_t radioTypeCode,
                               ProgressDisplay& progress, bool boot, ByteProgress* bytes)
{
    RadioLinkChannel channel(link);
    return DownloadCode(channel, loader, code, showStatus, radioTypeCode, progress, boot, bytes);
}

ProgrammingStatus DownloadDsp(RadioLink& link, std::istream& loader, std::istream& dspObject,
                              std::uint8_t radioTypeCode, const StatusCallback& showStatus,
                              const std::filesystem::path& pageFolderParent, ProgressDisplay& progress,
                              ByteProgress* bytes)
{
    RadioLinkChannel channel(link);
    return DownloadDsp(channel, loader, dspObject, radioTypeCode, showStatus, pageFolderParent, progress,
                       bytes);
}

} // namespace aurex
