// The updater: the window, or with --console the terminal front end. Each executable carries
// its own image set.
//
// --report-startup (window only) prints one line when the window's first frame is painted (the
// monotonic clock in ns and the resident memory) and ends the program 1.5 s later, long enough
// for a start-up benchmark to look at the process a second after that paint.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include <QMessageBox>

#include "app/termination_signals.h"
#include "image_store/embedded_blobs.h"
#include "ui/console/console_front_end.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialog_host.h"
#include "ui/qt/translated.h"

namespace {

aurex::MainFormEnvironment CarriedEnvironment()
{
    aurex::MainFormEnvironment env;
    // The carried set lives as long as the program; nothing to free.
    env.blobs = std::shared_ptr<const aurex::EmbeddedBlobs>(&aurex::CarriedImageSet(), [](const auto*) {});
    return env;
}

constexpr const char* kNoDisplay =
    "aurex-code-updater: there is no display to open the window on; in a terminal use --console "
    "(or aurex-code-updater-console).\n";

// The platform plugin ends the program when it finds no display: say so in one line instead.
void OnStartMessage(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(2);
    }
    // The plugin's own warnings before that are for people who know its insides.
}

bool DisplayNamed()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    bool reportStartup = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--console") == 0) {
            return aurex::RunConsole(argc, argv, CarriedEnvironment());
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: aurex-code-updater [--help | --version]\n"
                        "  Opens the updater's window. The same updater works in a terminal with --console\n"
                        "  (or as aurex-code-updater-console):\n\n%s",
                        aurex::ConsoleUsage().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            // No display is needed: the console's model reads the image set as the window would.
            char console[] = "--console";
            char version[] = "--version";
            char* args[] = {argv[0], console, version, nullptr};
            return aurex::RunConsole(3, args, CarriedEnvironment());
        }
        reportStartup = reportStartup || std::strcmp(argv[i], "--report-startup") == 0;
    }
    if (!DisplayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 2;
    }
    const QtMessageHandler usual = qInstallMessageHandler(OnStartMessage);
    aurex::GuardedApplication app(argc, argv);
    qInstallMessageHandler(usual);
    QApplication::setApplicationName("Aurex Code Updater");
    // Desktops find the installed entry and its icon by this name.
    QGuiApplication::setDesktopFileName("aurex-code-updater");
    try {
        aurex::MainFormEnvironment environment = CarriedEnvironment();
        environment.dataFolder = aurex::UserDataFolder();
        // What cannot be recorded is said beside the window, without holding a run up.
        environment.warn = [](const std::string& text) {
            std::fprintf(stderr, "Aurex Code Updater: warning: %s\n", text.c_str());
            auto* box =
                new QMessageBox(QMessageBox::Warning, aurex::Translated(aurex::kAppTitle, aurex::kQtContext),
                                aurex::Translated(text, aurex::kQtContext));
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
