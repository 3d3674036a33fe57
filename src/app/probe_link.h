#pragma once

// A link of its own for a short look at a port outside a run (the connection check, waiting for
// a radio): its own time-out timer, and the port closed again whatever ends the look.

#include <QObject>

#include "link/link_timer.h"
#include "link/radio_link.h"

namespace aurex {

class ProbeLink
{
  public:
    ProbeLink()
    {
        link.commTimer = &commTimer_;
        QObject::connect(&commTimer_, &ScaledTimer::OnTimer, [this] { OnLinkCommTimer(link); });
    }
    ~ProbeLink() { CloseLink(link); } // before the timer goes
    ProbeLink(const ProbeLink&) = delete;
    ProbeLink& operator=(const ProbeLink&) = delete;

    RadioLink link;

  private:
    ScaledTimer commTimer_;
};

} // namespace aurex
