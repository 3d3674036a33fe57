#pragma once

#include <QObject>
#include <QTimer>

namespace aurex {

// The device path's time-out timer as the link drives it: the main window's m_CommTimer.
class LinkTimer
{
  public:
    virtual ~LinkTimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual int Interval() const = 0;
    virtual bool Enabled() const = 0;
};

// A repeating timer whose interval is given in the program's milliseconds and run on the scaled
// clock. OnTimer fires every interval while enabled; changing the interval restarts it.
class ScaledTimer : public QObject, public LinkTimer
{
    Q_OBJECT

  public:
    explicit ScaledTimer(QObject* parent = nullptr);

    void SetInterval(int milliseconds) override;
    void SetEnabled(bool enabled) override;
    int Interval() const override { return interval_; }
    bool Enabled() const override { return timer_.isActive(); }

  signals:
    void OnTimer();

  private:
    QTimer timer_;
    int interval_ = 1000;
};

} // namespace aurex
