#pragma once

// The progress bar takes a new value at most four times a second: a download moves the model's
// bar thousands of times a second, and each new value is a redraw and a value change a screen
// reader has to read out. The last value always arrives.

#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QProgressBar;

namespace aurex {

class ProgressPacer : public QObject
{
  public:
    static constexpr int kIntervalMs = 250;

    // `shown` is called after each value the bar takes.
    ProgressPacer(QProgressBar& bar, std::function<void()> shown);

    void Show(int minimum, int maximum, int position);

  private:
    void Apply();

    QProgressBar& bar_;
    std::function<void()> shown_;
    QElapsedTimer since_;
    QTimer later_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

} // namespace aurex
