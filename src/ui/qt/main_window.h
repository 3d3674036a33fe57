#pragma once

#include <cstdio>
#include <memory>

#include <QWidget>

#include "app/code_updater_main_form.h"
#include "app/timer_driver.h"
#include "ui/qt/form_view.h"
#include "ui/qt/qt_dialog_host.h"

namespace aurex {

// The updater's main window: the window model shown with Qt Widgets.
class MainWindow : public QWidget
{
  public:
    explicit MainWindow(MainFormEnvironment environment = {});
    ~MainWindow() override;

    TCodeUpdaterMainDispForm& Form() { return *form_; }
    FormView& View() { return *view_; }
    QtDialogHost& Host() { return host_; }

    // The program is asked from outside to end (a signal): the run is stopped as by Stop, with a
    // codeplug write-back finished first; an open box or dialog is closed unanswered; the window
    // closes once nothing is under way.
    void Terminate();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QtDialogHost host_;
    std::unique_ptr<TCodeUpdaterMainDispForm> form_;
    std::unique_ptr<FormView> view_;
    std::unique_ptr<TimerDriver> timers_;
};

// For start-up measurements (--report-startup): once the window's first frame has been painted,
// writes one line to `out`
//   aurex-startup first-paint-ns=<CLOCK_MONOTONIC time in ns> vmrss-kb=<n> vmhwm-kb=<n>
// (-1 where the system does not tell) and ends the event loop with 0 after `lingerMs`, so that
// a caller can look at the running process meanwhile.
void ReportFirstPaint(QWidget& window, std::FILE* out, int lingerMs);

} // namespace aurex
