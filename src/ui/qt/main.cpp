// aurex-code-updater: the window, or with --console the terminal front end.

#include <cstring>
#include <exception>

#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialog_host.h"

namespace aurex {
int RunConsole(int argc, char** argv);
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--console") == 0) {
            return aurex::RunConsole(argc, argv);
        }
    }
    aurex::GuardedApplication app(argc, argv);
    QApplication::setApplicationName("Aurex Code Updater");
    try {
        aurex::MainWindow window;
        window.show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        aurex::ShowEscapedError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
