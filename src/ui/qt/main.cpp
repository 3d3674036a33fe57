// The updater: the window, or with --console the terminal front end. Each executable carries
// its own image set.
//
// --report-startup (window only) prints one line when the window's first frame is painted (the
// monotonic clock in ns and the resident memory) and ends the program 1.5 s later, long enough
// for a start-up benchmark to look at the process a second after that paint.

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include <QMessageBox>

#include "app/termination_signals.h"
#include "image_store/embedded_blobs.h"
#include "ui/console/console_front_end.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialog_host.h"

namespace {

aurex::MainFormEnvironment CarriedEnvironment()
{
    aurex::MainFormEnvironment env;
    // The carried set lives as long as the program; nothing to free.
    env.blobs = std::shared_ptr<const aurex::EmbeddedBlobs>(&aurex::CarriedImageSet(), [](const auto*) {});
    return env;
}

} // namespace

int main(int argc, char** argv)
{
    bool reportStartup = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--console") == 0) {
            return aurex::RunConsole(argc, argv, CarriedEnvironment());
        }
        reportStartup = reportStartup || std::strcmp(argv[i], "--report-startup") == 0;
    }
    aurex::GuardedApplication app(argc, argv);
    QApplication::setApplicationName("Aurex Code Updater");
    // Desktops find the installed entry and its icon by this name.
    QGuiApplication::setDesktopFileName("aurex-code-updater");
    try {
        aurex::MainFormEnvironment environment = CarriedEnvironment();
        environment.dataFolder = aurex::UserDataFolder();
        // What cannot be recorded is said beside the window, without holding a run up.
        environment.warn = [](const std::string& text) {
            std::fprintf(stderr, "Aurex Code Updater: warning: %s\n", text.c_str());
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Aurex Code Updater"),
                                        QString::fromStdString(text));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        };
        aurex::MainWindow window(std::move(environment));
        // SIGTERM, SIGHUP and Ctrl-C stop a run the way Stop does, then close the window.
        const aurex::TerminationSignals stopSignals([&window](int) { window.Terminate(); });
        if (reportStartup) {
            aurex::ReportFirstPaint(window, stdout, 1500);
        }
        window.show();
        return QApplication::exec();
    } catch (const std::exception& e) {
        aurex::ShowEscapedError(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
