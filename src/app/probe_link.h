#pragma once

// A link of its own for a short look at a port outside a run (the connection check, waiting for
// a radio): its own time-out timer, and the port closed again whatever ends the look.

#include <QObject>

#include <algorithm>
#include <vector>

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
        Live().push_back(this);
    }
    ~ProbeLink()
    {
        std::erase(Live(), this);
        CloseLink(link); // before the timer goes
    }
    ProbeLink(const ProbeLink&) = delete;
    ProbeLink& operator=(const ProbeLink&) = delete;

    // Ends the wait of every look under way at its next turn, and the steps after it: the program
    // is asked to end, and a look that went on would hold the port, and its settings, meanwhile.
    static void StopAll()
    {
        for (ProbeLink* probe : Live()) {
            probe->stopped_ = true;
            SetLinkActive(probe->link, false);
        }
    }
    bool Stopped() const { return stopped_; }

    RadioLink link;

  private:
    static std::vector<ProbeLink*>& Live()
    {
        static std::vector<ProbeLink*> live;
        return live;
    }

    ScaledTimer commTimer_;
    bool stopped_ = false;
};

} // namespace aurex
