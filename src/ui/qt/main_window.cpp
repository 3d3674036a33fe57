#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "link/com_port_map.h"

namespace aurex {

MainWindow::MainWindow(MainFormEnvironment environment) {
    QFont font("Sans Serif", 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    form_ = std::make_unique<TCodeUpdaterMainDispForm>(host_, std::move(environment));
    host_.Register(*form_, this);
    view_ = std::make_unique<FormView>(*form_, this, RunGuarded);
    TCodeUpdaterMainDispForm& form = *form_;
    view_->OwnerDrawList(
        form.m_ComportComboBox, [&form](int index, bool selected) { return form.m_ComportComboBoxDrawItem(index, selected); },
        [](int index) { return QString::fromStdString(ComDevicePath(index + 1)); });
    timers_ = std::make_unique<TimerDriver>(form);

    // Centred on the desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(form.ClientWidth() / 2, form.ClientHeight() / 2));
    }
}

MainWindow::~MainWindow() {
    timers_.reset();
    view_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    bool mayClose = true;
    RunGuarded([&] { mayClose = form_->FormCloseQuery(); });
    if (mayClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace aurex
