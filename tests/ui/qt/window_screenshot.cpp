// Saves a picture of the main window, expanded, for the documentation:
//   xvfb-run -a window_screenshot docs/screenshot-main-window.png

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "support/recording_host.h"
#include "ui/qt/main_window.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    QApplication app(argc, argv);
    aurex::MainFormEnvironment env =
        aurex::testing::FakeEnvironment({1, 3, 17}, "/opt/aurex/8600_Series_5_Release_3_0_9", 1);
    env.blobs = aurex::testing::RecordBlobs(1, 1, 5, 3);
    aurex::MainWindow window(env);
    window.Form().m_ComportComboBox.UserSelect(2);
    window.Form().m_ToggleVersionInfoSpeedButton.Click();
    window.Form().ShowStatus("Uploading codeplug...");
    window.Form().m_ProgressBar.SetPosition(42);
    if (argc > 2) { // sample values, to see the widest texts in place
        auto& f = window.Form();
        f.FileVersionLabel.SetCaption("5.10");
        f.DSPVersionLabel.SetCaption("3.12.4");
        f.HWControllerVersionHeadingLabel.SetCaption("Controller Version:");
        f.HWControllerVersionLabel.SetCaption("2.4.1");
        f.HWRevisionLabel.SetCaption("1.0.3");
        f.SerialNumberLabel.SetCaption("00-00-1A-2B-3C-4D-5E-6F");
        f.BootLoadVersionLabel.SetCaption("4.0");
        f.SEMVersionLabel.SetCaption("Not Applicable");
        f.TessaroVersionLabel.SetCaption("2.8.2");
        f.BrevioVersionLabel.SetCaption("3.0.9");
    }
    window.show();
    int result = 1;
    QTimer::singleShot(300, [&] {
        result = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return result;
}
