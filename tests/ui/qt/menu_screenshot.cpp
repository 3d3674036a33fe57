// Saves a picture of the box or dialog that a menu item of the main window opens, for the
// documentation. The window uses the user's data folder and COM ports as the program does, so
// point them where the picture needs (the simulated radio's pseudo-terminal, a data folder with
// some runs in it):
//   AUREX_COM1=/dev/pts/N xvfb-run -a menu_screenshot m_HelpCheckConnectionMenuItem shot.png
//   XDG_DATA_HOME=/tmp/data xvfb-run -a menu_screenshot m_HelpHistoryMenuItem shot.png
// m_ComportComboBox opens the port list instead and takes the screen with COM 1's tooltip.
// With --after-default, the default button of what the item opens is pressed first and what comes
// next is taken (the question before a restore, the newest backup chosen):
//   AUREX_COM1=/dev/pts/N XDG_DATA_HOME=/tmp/data xvfb-run -a menu_screenshot
//       m_FileRestoreMenuItem shot.png --after-default

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QHelpEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

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
    if (auto* list = window.findChild<QComboBox*>(argv[1])) {
        QTimer::singleShot(300, [&, list] {
            list->showPopup();
            QAbstractItemView* items = list->view();
            const QRect first = items->visualRect(items->model()->index(0, 0));
            // As a pointer resting on the item asks for it.
            const QPoint at = first.center();
            QCursor::setPos(items->viewport()->mapToGlobal(at));
            QHelpEvent ask(QEvent::ToolTip, at, items->viewport()->mapToGlobal(at));
            QApplication::sendEvent(items->viewport(), &ask);
            QTimer::singleShot(800, [&, items] {
                // The window, the open list and the tooltip, and no more of the screen.
                QRect shown = window.frameGeometry().united(items->window()->geometry());
                for (QWidget* top : QApplication::topLevelWidgets()) {
                    if (top->isVisible() && top->inherits("QTipLabel")) {
                        shown = shown.united(top->geometry());
                    }
                }
                shown.adjust(-8, -8, 8, 8);
                const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
                result = screen.copy(shown).save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
                QApplication::quit();
            });
        });
        QApplication::exec();
        return result;
    }
    // What the item opens is modal: look for it once it is up, take it, close it.
    bool pressFirst = argc > 3 && std::strcmp(argv[3], "--after-default") == 0;
    QPointer<QWidget> pressed; // null once gone, so a later box at its address is not skipped
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget(); box != nullptr && box != pressed) {
            if (pressFirst) {
                pressed = box;
                for (QPushButton* button : box->findChildren<QPushButton*>()) {
                    if (button->isDefault()) {
                        pressFirst = false;
                        QTimer::singleShot(300, button, &QPushButton::click);
                    }
                }
                return;
            }
            poll.stop();
            QTimer::singleShot(300, [&, box] {
                result = box->grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
                box->close();
                // A run the box was part of ends first: quitting inside it would leave it hanging.
                poll.disconnect();
                QObject::connect(&poll, &QTimer::timeout, [&] {
                    if (!window.Form().m_UpdateInProgress && QApplication::activeModalWidget() == nullptr) {
                        QApplication::quit();
                    }
                });
                poll.start(100);
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
