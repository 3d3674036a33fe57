#pragma once

#include "link/clock.h"
#include "link/radio_link.h"
#include "qt_app.h"
#include "support/scripted_peer.h"

#include <QTimer>

#include <functional>
#include <memory>

namespace aurex::test {

enum class LinkPath { Device, PortComponent };

inline const char* PathName(LinkPath path)
{
    return path == LinkPath::Device ? "Device" : "PortComponent";
}

// A link wired as the main window wires it (m_CommTimer and the port component's trigger call the
// link's hooks), opened on COM 3 over a pseudo-terminal, with the clock sped up.
class LinkRig
{
  public:
    static constexpr int kCom = 3;
    static constexpr double kScale = 0.05;

    LinkRig() : com_(kCom, pty.DevicePath())
    {
        EnsureCoreApplication();
        Clock::SetScale(kScale);
        link.commTimer = &commTimer;
        QObject::connect(&commTimer, &ScaledTimer::OnTimer, [this] { OnLinkCommTimer(link); });
        QObject::connect(&port, &ComPort::OnTriggerTimer, [this](ComPort*, quint16) {
            ++triggersFired;
            OnLinkTriggerTimer(link);
        });
    }

    ~LinkRig()
    {
        CloseLink(link);
        Clock::SetScale(1.0);
    }

    // Opens the way the main window does and leaves the link active and framed at 19200.
    bool Open(LinkPath path, std::string& message)
    {
        bool ok = false;
        if (path == LinkPath::Device) {
            ok = OpenDeviceLink(link, kCom, 19200, false, message) == PortOpenResult::Opened;
        } else {
            port.SetComNumber(kCom);
            port.SetRS485Mode(true);
            ok = OpenComPortLink(link, port, message) == PortOpenResult::Opened;
        }
        if (ok) {
            SetLinkFraming(link, kFramingFramed);
            SetLinkActive(link, true);
            SetLinkBaud(link, 19200);
        }
        return ok;
    }

    // Runs fn from the event loop after ms (program milliseconds, unscaled), as a window event would.
    void After(int ms, std::function<void()> fn)
    {
        auto* t = new QTimer;
        t->setSingleShot(true);
        QObject::connect(t, &QTimer::timeout, [t, fn = std::move(fn)] {
            fn();
            t->deleteLater();
        });
        t->start(ms);
    }

    PtyPair pty;
    ComPort port;
    ScaledTimer commTimer;
    RadioLink link;
    int triggersFired = 0;

  private:
    ScopedComOverride com_;
};

inline LinkPacket CodePacket(std::uint8_t classByte, std::uint8_t commandByte)
{
    LinkPacket p;
    p.Append(classByte);
    p.Append(commandByte);
    return p;
}

inline Bytes PacketBytes(const LinkPacket& p)
{
    const auto b = p.Bytes();
    return Bytes(b.begin(), b.end());
}

} // namespace aurex::test
