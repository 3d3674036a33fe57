#pragma once

// The main window with a portable image set, its link opened at 19200 (as a code download leaves
// it) on COM 3 over the given device, its timers running on a sped-up clock.

#include <memory>
#include <string>
#include <vector>

#include "app/code_updater_main_form.h"
#include "app/port_probe.h"
#include "app/timer_driver.h"
#include "link/clock.h"
#include "link/qt_app.h"
#include "support/pty_pair.h"
#include "support/recording_host.h"
#include "transfer/backup_disk.h"

namespace aurex::test {

class WindowRig
{
  public:
    static constexpr int kCom = 3;

    // `backupDisk`: where backups are written (null: the real disk).
    WindowRig(const std::string& devicePath, double timeScale,
              std::shared_ptr<BackupDisk> backupDisk = nullptr)
        : com_(kCom, devicePath)
    {
        EnsureCoreApplication();
        Clock::SetScale(timeScale);
        MainFormEnvironment env = testing::FakeEnvironment({}, "Unit_Release_1_0", 1);
        env.probePort = [](int n) { return n == kCom ? ProbeComPort(n) : PortOpenResult::NotPresent; };
        env.blobs = testing::RecordBlobs(0, 0, 4, 0);
        env.backupDisk = std::move(backupDisk);
        form = std::make_unique<TCodeUpdaterMainDispForm>(host, env);
        host.Attach(*form);
        timers_ = std::make_unique<TimerDriver>(*form);
        form->m_ComportComboBox.UserSelect(kCom - 1);
        opened = form->OpenRadioLink(true);
    }
    ~WindowRig()
    {
        form->CloseRadioLink();
        timers_.reset();
        form.reset();
        Clock::SetScale(1.0);
    }
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    std::vector<std::string> ProgressIntervals() const
    {
        return host.Changes("ProgressBarTimer", "Interval");
    }

    testing::RecordingHost host;
    std::unique_ptr<TCodeUpdaterMainDispForm> form;
    bool opened = false;

  private:
    ScopedComOverride com_;
    std::unique_ptr<TimerDriver> timers_;
};

} // namespace aurex::test
