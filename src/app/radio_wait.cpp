#include "app/radio_wait.h"

#include <algorithm>

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include "app/app_timeouts.h"
#include "app/probe_link.h"
#include "link/clock.h"
#include "link/link_timeouts.h"
#include "programming/radio_programming.h"

namespace aurex {

namespace {

// A platform whose boot version query always answers: a silence then stays a silence.
constexpr std::uint8_t kAnswersBootQuery = 0;
constexpr std::int32_t kLookBaud = 19200;
constexpr std::int32_t kInterruptedRunBaud = 115200;

// Sleeps in the event loop (signals are handled there) until `span` has passed or `stopped`.
void Sleep(Clock::Duration span, const std::function<bool()>& stopped)
{
    QEventLoop loop;
    QTimer done;
    done.setSingleShot(true);
    QObject::connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer watch;
    watch.setInterval(link_timeouts::kStopCheckIntervalMs);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (stopped && stopped()) {
            loop.quit();
        }
    });
    done.start(static_cast<int>(
        std::max<std::int64_t>(1, std::chrono::duration_cast<std::chrono::milliseconds>(span).count())));
    watch.start();
    loop.exec();
}

bool AsWanted(RadioWanted wanted, RadioPresence presence)
{
    return (presence == RadioPresence::Answered) == (wanted == RadioWanted::Present);
}

} // namespace

RadioLook LookOnLink(RadioLink& link)
{
    RadioLook look;
    look.presence = RadioPresence::Silent;
    SetLinkActive(link, true);
    if (ReadBootVersion(link, kAnswersBootQuery, look.bootVersion) == ProgrammingStatus::Success) {
        look.presence = RadioPresence::Answered;
    }
    return look;
}

RadioLook LookForRadio(const std::string& devicePath)
{
    ProbeLink probe;
    RadioLink& link = probe.link;
    RadioLook look;
    if (OpenDevicePathLink(link, devicePath, kLookBaud, false, look.detail) != PortOpenResult::Opened) {
        return look;
    }
    // The probe as a run sends it: a radio behind an interface box is reached through it.
    SetLinkFraming(link, kFramingFramed);
    SetLinkActive(link, true);
    CreateLinkTimeout(link, app_timeouts::kInterfaceProbeReplyMs);
    ProbeInterfaceBox(link);
    ReleaseLinkTimeout(link);
    look = LookOnLink(link);
    std::int32_t baud = kLookBaud;
    if (look.presence == RadioPresence::Silent) {
        // Only this end changes speed: a radio still at 19200 must not be told to leave it.
        baud = kInterruptedRunBaud;
        SetLinkBaud(link, baud);
        look = LookOnLink(link);
    }
    look.baud = look.presence == RadioPresence::Answered ? baud : 0;
    return look;
}

WaitEnd WaitForRadio(const RadioWait& wait, RadioLook& last)
{
    const auto began = std::chrono::steady_clock::now();
    int wantedInARow = 0;
    for (;;) {
        last = wait.look();
        if (wait.seen) {
            wait.seen(last);
        }
        wantedInARow = AsWanted(wait.wanted, last.presence) ? wantedInARow + 1 : 0;
        if (wantedInARow >= (wait.wanted == RadioWanted::Gone ? 2 : 1)) {
            return WaitEnd::Found;
        }
        if (wait.stopped && wait.stopped()) {
            return WaitEnd::Stopped;
        }
        Clock::Duration pause = Clock::Milliseconds(kRadioLookIntervalMs);
        if (wait.limit) {
            const auto used = std::chrono::steady_clock::now() - began;
            if (used >= *wait.limit) {
                return WaitEnd::TimedOut;
            }
            pause = std::min(pause, std::chrono::duration_cast<Clock::Duration>(*wait.limit - used));
        }
        Sleep(pause, wait.stopped);
        if (wait.stopped && wait.stopped()) {
            return WaitEnd::Stopped;
        }
    }
}

std::string BootVersionText(const std::array<std::uint8_t, 2>& version)
{
    if (version[0] == 0 && version[1] == 0) {
        return "declined to tell its boot version";
    }
    return "boot " + std::to_string(version[0]) + "." + std::to_string(version[1]);
}

} // namespace aurex
