// Saves a picture of the box or dialog that a menu item of the main window opens, for the
// documentation. The window uses the user's data folder and COM ports as the program does, so
// point them where the picture needs (the simulated radio's pseudo-terminal, a data folder with
// some runs in it):
//   AUREX_COM1=/dev/pts/N xvfb-run -a menu_screenshot m_HelpCheckConnectionMenuItem shot.png
//   XDG_DATA_HOME=/tmp/data xvfb-run -a menu_screenshot m_HelpHistoryMenuItem shot.png

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "app/run_recorder.h"
#include "ui/qt/main_window.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: menu_screenshot MENU_ITEM_NAME FILE\n");
        return 2;
    }
    QApplication app(argc, argv);
    // The program's own folders, as it finds them.
    QApplication::setApplicationName("Aurex Code Updater");
    aurex::MainFormEnvironment environment;
    environment.dataFolder = aurex::UserDataFolder();
    aurex::MainWindow window(environment);
    aurex::Control* item = window.Form().Find(argv[1]);
    if (item == nullptr) {
        std::fprintf(stderr, "menu_screenshot: the window has no control named %s\n", argv[1]);
        return 2;
    }
    window.Form().m_ComportComboBox.UserSelect(0);
    window.show();
    int result = 1;
    // What the item opens is modal: look for it once it is up, take it, close it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            poll.stop();
            QTimer::singleShot(300, [&, box] {
                result = box->grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
                box->close();
                QApplication::quit();
            });
        }
    });
    QTimer::singleShot(300, [&] {
        poll.start(100);
        item->Click();
    });
    QApplication::exec();
    return result;
}
