// Saves a picture of Help -> Check connection... over COM 1 for the documentation. Point COM 1 at
// a device (for example the simulated radio's pseudo-terminal) first:
//   AUREX_COM1=/dev/pts/N xvfb-run -a check_connection_screenshot docs/screenshot-check-connection.png

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "ui/qt/main_window.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    QApplication app(argc, argv);
    aurex::MainWindow window(aurex::MainFormEnvironment{});
    window.Form().m_ComportComboBox.UserSelect(0);
    window.show();
    int result = 1;
    // The report is a modal box: look for it once the check has run, take it, close it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            poll.stop();
            QTimer::singleShot(300, [&, box] {
                result = box->grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
                box->close();
                QApplication::quit();
            });
        }
    });
    QTimer::singleShot(300, [&] {
        poll.start(100);
        window.Form().m_HelpCheckConnectionMenuItem.Click();
    });
    QApplication::exec();
    return result;
}
