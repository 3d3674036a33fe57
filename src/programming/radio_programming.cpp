#include "programming/radio_programming.h"

#include <QEventLoop>
#include <QTimer>

#include "link/clock.h"

namespace aurex {

namespace {

// How often a fixed wait looks whether the link was stopped meanwhile (real time).
constexpr int kStopCheckMs = 50;

} // namespace

void RadioLinkChannel::PauseTicks(std::int32_t ticks)
{
    if (ticks <= 0 || !link_.active) {
        return;
    }
    // A nested loop that sleeps until its timer, an application quit or a stopped link ends it.
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    done.setTimerType(Qt::PreciseTimer);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Stop arrives as a window event that only clears the link's flag: look at it now and then.
    QTimer watch;
    watch.setInterval(kStopCheckMs);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (!link_.active) {
            loop.quit();
        }
    });
    done.start(Clock::TimerTicks(ticks));
    watch.start();
    loop.exec();
}

int ReadTargetVersionInfo(RadioLink& link, std::uint8_t radioTypeCode, TargetVersionInfo& info, bool sem)
{
    RadioLinkChannel channel(link);
    return ReadTargetVersionInfo(channel, radioTypeCode, info, sem);
}

int ReadBootVersion(RadioLink& link, std::uint8_t radioTypeCode, std::array<std::uint8_t, 2>& version)
{
    RadioLinkChannel channel(link);
    return ReadBootVersion(channel, radioTypeCode, version);
}

int DownloadCode(RadioLink& link, std::istream& loader, std::istream& code, const StatusCallback& showStatus,
                 std::uint8_t radioTypeCode, ProgressDisplay& progress, bool boot)
{
    RadioLinkChannel channel(link);
    return DownloadCode(channel, loader, code, showStatus, radioTypeCode, progress, boot);
}

int DownloadDsp(RadioLink& link, std::istream& loader, std::istream& dspObject, std::uint8_t radioTypeCode,
                const StatusCallback& showStatus, const std::filesystem::path& pageFolderParent,
                ProgressDisplay& progress)
{
    RadioLinkChannel channel(link);
    return DownloadDsp(channel, loader, dspObject, radioTypeCode, showStatus, pageFolderParent, progress);
}

} // namespace aurex
