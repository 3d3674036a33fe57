#include "ui/qt/main_window.h"

#include <chrono>
#include <fstream>
#include <string>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "app/port_probe.h"

namespace aurex {

MainWindow::MainWindow(MainFormEnvironment environment)
{
    QFont font("Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    form_ = std::make_unique<TCodeUpdaterMainDispForm>(host_, std::move(environment));
    host_.Register(*form_, this);
    view_ = std::make_unique<FormView>(*form_, this, RunGuarded);
    TCodeUpdaterMainDispForm& form = *form_;
    view_->OwnerDrawList(
        form.m_ComportComboBox,
        [&form](int index, bool selected) { return form.m_ComportComboBoxDrawItem(index, selected); },
        [&form](int index) { return QString::fromStdString(form.m_ComportComboBoxHint(index)); },
        [&form](int index) {
            const auto at = static_cast<std::size_t>(index);
            return form.m_PortAvailability.at(at) == kPortAvailable
                       ? std::string()
                       : PortUnavailableReason(form.m_PortProbe.at(at + 1));
        });
    timers_ = std::make_unique<TimerDriver>(form);

    // Centred on the desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(form.ClientWidth() / 2, form.ClientHeight() / 2));
    }
}

MainWindow::~MainWindow()
{
    timers_.reset();
    view_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    bool mayClose = true;
    RunGuarded([&] { mayClose = form_->FormCloseQuery(); });
    if (mayClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::Terminate()
{
    auto termination = TCodeUpdaterMainDispForm::Termination::EndNow;
    RunGuarded([&] { termination = form_->RequestTermination(); });
    // A box would hold the run's handler until someone answers it; nobody may be there to.
    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        modal->reject();
    }
    if (termination == TCodeUpdaterMainDispForm::Termination::EndNow) {
        close();
    }
    // Otherwise the handler closes the window when it returns.
}

namespace {

struct ResidentKilobytes
{
    long rss = -1;
    long hwm = -1;
};

// VmRSS and VmHWM from one read of /proc/self/status, so that the pair is consistent.
ResidentKilobytes ReadResidentKilobytes()
{
    ResidentKilobytes kb;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        long* field = line.rfind("VmRSS:", 0) == 0   ? &kb.rss
                      : line.rfind("VmHWM:", 0) == 0 ? &kb.hwm
                                                     : nullptr;
        if (field != nullptr) {
            try {
                *field = std::stol(line.substr(6));
            } catch (const std::exception&) {
                *field = -1;
            }
        }
    }
    return kb;
}

class FirstPaintReporter : public QObject
{
  public:
    FirstPaintReporter(QWidget& window, std::FILE* out, int lingerMs)
        : QObject(&window), out_(out), lingerMs_(lingerMs)
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            watched->removeEventFilter(this);
            // The frame is painted and handed to the platform in this same turn of the event
            // loop; the queued call runs once that is done.
            QMetaObject::invokeMethod(
                this, [this] { Report(); }, Qt::QueuedConnection);
        }
        return false;
    }

  private:
    void Report()
    {
        // libstdc++'s steady clock is CLOCK_MONOTONIC, the clock a starting process can read too.
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        const ResidentKilobytes kb = ReadResidentKilobytes();
        std::fprintf(out_, "aurex-startup first-paint-ns=%lld vmrss-kb=%ld vmhwm-kb=%ld\n",
                     static_cast<long long>(now.count()), kb.rss, kb.hwm);
        std::fflush(out_);
        QTimer::singleShot(lingerMs_, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    }

    std::FILE* out_;
    int lingerMs_;
    bool seen_ = false;
};

} // namespace

void ReportFirstPaint(QWidget& window, std::FILE* out, int lingerMs)
{
    new FirstPaintReporter(window, out, lingerMs); // owned by the window
}

} // namespace aurex
